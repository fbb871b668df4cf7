#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "html/number_reader.h"  // TagNameLength, ParseNumber

namespace kelvane {

// Reduces a NUL-terminated Shift-JIS HTML text (LF line ends) to plain text
// with LF line breaks. Returns a new block from MemAlloc that the caller owns,
// or null on failure (null or empty text, "<body" without ">", or an
// allocation that failed). When title is not null, on success it receives a
// new block with the raw text of the first title element (possibly empty).
char* HtmlToText(const char* text, char** title);

// The same over a text whose length (up to its NUL, which holds no other) the
// caller knows; on success the result's length goes through text_length when
// that is not null, so the next stage need not measure it either.
char* HtmlToTextOfLength(const char* text, std::size_t length, char** title, uint32_t* text_length);

// How far a conversion has come, for a reader on another thread that takes
// the output while it is being made: the scan writes the output from the
// start of its block and never changes a byte it has written and counted.
struct TextProgress {
  std::atomic<char*> block{nullptr};     // the output's block, once the scan writes to it
  std::atomic<uint32_t> final_bytes{0};  // bytes at its start that no later step changes
  std::atomic<int> outcome{kTextRunning};
  // Set by the caller before the call: the text is Shift-JIS as read, which
  // may hold a CR (it then needs the line-end rule first) or a NUL (it then
  // ends early). The call then fails with kTextRefusedAsRead at the first it
  // meets, before any output, instead of converting; and so it does when its
  // clean copy cannot be made, so that the caller's usual way, not this one,
  // says what failed.
  bool as_read = false;

  static constexpr int kTextRunning = 0;
  static constexpr int kTextDone = 1;  // final_bytes is the whole output's length
  static constexpr int kTextFailed = -1;
  static constexpr int kTextRefusedAsRead = -2;
};

// HtmlToTextOfLength without a title, publishing its output in progress as
// it goes: the block, then final_bytes every so often, then the outcome, each
// with release order. On success returns the block, as HtmlToTextOfLength
// does. On failure returns null; a block already published is then left to
// the caller to release once the reader has stopped.
char* HtmlToTextShowingProgress(const char* text, std::size_t length, uint32_t* text_length,
                                TextProgress* progress);

// The same, converting text in its own block: text (length bytes and a NUL,
// from MemAlloc) is the caller's no more. Returns the output, in that block or
// a larger one; on failure null, and the block is released, except one that
// progress has published, which is then the caller's to release. progress
// may be null.
char* HtmlToTextInBlock(char* text, uint32_t length, uint32_t* text_length, TextProgress* progress);

}  // namespace kelvane
