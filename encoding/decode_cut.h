// Where a large text can be cut in two so that each part is decoded on its own
// (the driver decodes them side by side) and the parts, joined, are the whole
// text's decoding.
//
// A cut lies at a character c just behind a LF: there every decoder stands
// between characters, with the line-end rule's after-CR flag clear and, in
// ISO-2022-JP, the one-byte set selected, which is where a decoder starts.
// The character at the cut is overwritten with a terminator, so the front
// part ends there; the back part is decoded from the character after c. So c
// and the character after it are both printable ASCII (20-7E), which every
// decoder writes as that same byte, and the back part never starts with a
// byte order mark, which a decoder skips at a text's start only.
//
// Decode(text) = Decode(front) + c + Decode(back), each failing only where the
// whole fails, unless the front holds a terminator of its own: the whole text
// ends there, and the back part counts for nothing.
#pragma once

#include <cstdint>

namespace kelvane {

struct DecodeCut {
  uint32_t at;    // byte offset of c; 0 when the text has no cut
  uint32_t unit;  // bytes of c and of the terminator: 2 in UTF-16, else 1
  char byte;      // c, which stands for itself in Shift-JIS
};

// A cut at or behind the middle of the size bytes of text (followed by NUL
// bytes), no further than a short search from it; at = 0 when there is none
// there, or the encoding is not one of those that this applies to (UTF-8,
// UTF-16LE, UTF-16BE, EUC-JP, ISO-2022-JP).
DecodeCut FindDecodeCut(const char* text, uint32_t size, int encoding);

// Whether the first `bytes` bytes of text hold a terminator of the encoding's
// width (a NUL, or a zero unit at an even offset when unit is 2).
bool HasTerminatorBefore(const char* text, uint32_t bytes, uint32_t unit);

}  // namespace kelvane
