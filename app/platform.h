// What the conversion driver needs from the operating system, in one small
// table of operations. platform_posix.cpp and platform_win32.cpp each define
// DefaultPlatform(); tests pass tables of their own to ConvertFileWith.
#pragma once

#include <cstdint>

namespace kelvane {

enum class ReadResult {
  kOk,           // *block holds *size bytes followed by three NUL bytes
  kCannotOpen,   // missing, unreadable, a folder, a failed read, or a size that
                 // changed during the read
  kInvalidSize,  // empty, size unknown, or the size and three NULs exceed 32 bits
  kOutOfMemory,  // the block could not be allocated
};

// Hands over an output's text in parts, in order: 1 with the next part in
// *data and *size (valid until the next call), 0 after the last part, -1 when
// the text failed and nothing may be written.
using NextPart = int (*)(void* source, const char** data, uint32_t* size);

struct Platform {
  // Reads the whole file at path into a new block from MemAlloc, with three
  // NUL bytes behind the data. The caller releases the block with MemFree.
  ReadResult (*read_whole_file)(const char* path, char** block, uint32_t* size);
  // Creates or replaces the file at path with exactly size bytes of data; an
  // existing file keeps its other names (hard or symbolic links). 1 on
  // success; 0 when the file could not be created or completely written, and
  // then no partial output is left and an existing file is never removed; it
  // keeps its text unless a failure other than a full disk struck while it
  // was being rewritten in place.
  int (*write_whole_file)(const char* path, const char* data, uint32_t size);
  // 1 when both paths name one existing file, through whatever links lead to
  // it; 0 otherwise, and when either cannot be looked up.
  int (*is_same_file)(const char* path, const char* other);
  // Shows one warning: a Shift-JIS message (never null), and a path in the
  // platform's own form (null when there is none): UTF-8 on Windows, the bytes
  // as given on POSIX. Returns what the
  // platform returns; nobody uses it.
  int (*show_warning)(const char* message, const char* path);
  // Runs job(first) and job(second) and returns once both have finished: side
  // by side on two threads where it can, else one after the other. Null in a
  // table whose jobs must run in order; the driver then runs everything itself.
  // The fallback runs job(first) to its end before job(second) starts.
  void (*run_both)(void (*job)(void*), void* first, void* second);
  // Writes the file at path as write_whole_file does, its data being the
  // parts next_part hands over, asked for one by one as the write goes on;
  // 0 also when next_part gives up, and then the output is as it was. Null
  // where a text is only written whole; the driver then makes it whole first.
  int (*write_file_in_parts)(const char* path, NextPart next_part, void* source);
};

const Platform* DefaultPlatform();

}  // namespace kelvane
