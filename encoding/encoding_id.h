// Names shared by detection, the decoders and the driver.
//
// A decoding stage has the form (result place, input text, mode) and returns
// -1 on failure or the EncodingId of what it decoded. On success the result
// place receives a new NUL-terminated block from MemAlloc that the caller owns
// and releases with MemFree; on failure nothing is left to release.
//
// UTF-16 text is held little-endian in memory; the project builds only for
// little-endian hosts, so a unit is read as a plain uint16_t.
#pragma once

#include <bit>

static_assert(std::endian::native == std::endian::little,
              "UTF-16 text is held as little-endian units");

namespace kelvane {

// EncodingId: which input encoding a text is in. 4 is not assigned.
enum : int {
  kUtf16Le = 1,
  kUtf16Be = 2,
  kUtf8 = 3,
  kShiftJis = 5,
  kEucJp = 6,
  kIso2022Jp = 7,
};

// LineEndMode: how the line-end rule writes a line end. 0 copies CR and LF.
enum : int {
  kLineEndCopy = 0,
  kLineEndCr = 0x100,
  kLineEndLf = 0x200,
  kLineEndCrLf = 0x300,
};

}  // namespace kelvane
