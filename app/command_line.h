// Splitting a command line (without the program name) into file names, the
// way the Windows front end reads its command line. Portable, so it is tested
// on every platform.
#pragma once

#include <cstddef>

namespace kelvane {

// Receives one word: length bytes at word, pointing into the line and not
// NUL-terminated. context is the split's caller's.
using CommandWordFn = void (*)(void* context, const char* word, std::size_t length);

// Calls on_word for each word of line, from left to right, and returns how many
// there were. Only the blank (0x20) separates words. A word that starts with a
// double quote runs to the next double quote, and is the bytes between them
// (possibly none); the next word may follow right after the closing quote. A
// double quote without a closing one ends the split: that word and the rest of
// the line are dropped. Any other word runs to the next blank or the end, tabs
// and double quotes inside it included. Words of any length are passed whole.
// A null line has no words.
std::size_t SplitCommandLine(const char* line, CommandWordFn on_word, void* context);

}  // namespace kelvane
