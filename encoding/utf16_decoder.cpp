// UTF-16 to Shift-JIS through the project's own cp932 table.
//
// DecodeUtf16Le measures first, allocates one block of exactly the output size
// plus the NUL, and fills it; a unit that cp932 lacks, a lone surrogate or a
// pair alike, fails the whole text. The line-end rule runs in the same pass:
// CR and LF units are the bytes 0D and 0A, and no other unit's cp932 bytes
// are, so this is the same as normalising the converted text afterwards with
// the flag word mode | 5, which reads the mode from bits 8-11.
//
// Units are little-endian in memory and end at a zero unit. Both passes read
// the flat arrays of unit_codes.h: the measuring pass each unit's code length,
// the writing pass its code's bytes and length.
#include "encoding/utf16_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "common/heap.h"
#include "encoding/encoding_id.h"
#include "encoding/line_end_rule.h"
#include "encoding/unit_codes.h"

namespace kelvane {
namespace {

constexpr std::size_t kUnconvertible = SIZE_MAX;
constexpr uint16_t kByteOrderMark = 0xFEFF;

// Bytes that the units up to the zero unit convert to, and where that unit
// is; kUnconvertible for a unit cp932 lacks. Units are read one at a time, as
// nothing past the zero unit may be. The lengths come from a table of bytes,
// half the size of the codes, and the test for the zero unit, CR and LF looks
// at the unit itself, known before its length is loaded.
std::size_t MeasureUnits(const uint16_t* u, int mode, const uint16_t** end) {
  const uint8_t* lengths = Cp932Codes().length;
  LineEndRule rule = StartLineEndRule(mode);
  std::size_t n = 0;
  unsigned seen = 0;  // every length ORed together: kNoCode once any unit has no code
  for (;; ++u) {
    const unsigned unit = *u;
    if (unit < 0x0E) {
      if (unit == 0) break;
      if (mode != 0 && (unit == '\r' || unit == '\n')) {
        if (TakeLineEnd(&rule, unit)) n += static_cast<std::size_t>(LineEndWidth(mode));
        continue;
      }
    }
    const unsigned length = lengths[unit];
    n += length;
    seen |= length;
  }
  *end = u;
  return (seen & kNoCode) != 0 ? kUnconvertible : n;
}

// Converts the units before end, all known to convert, into out, which has
// room for exactly what MeasureUnits counted plus the NUL. Every unit writes
// its two table bytes and moves on by its length, with no branch on the
// length: a one-byte code's second byte, a 0, is overwritten next, or at the
// end by the NUL.
void WriteUnits(const uint16_t* u, const uint16_t* end, int mode, char* out) {
  const CodeByUnit& table = Cp932Codes();
  LineEndRule rule = StartLineEndRule(mode);
  std::size_t n = 0;
  for (; u < end; ++u) {
    const unsigned unit = *u;
    // The unit, known before its code is loaded, decides on line ends.
    if (unit < 0x0E && mode != 0 && (unit == '\r' || unit == '\n')) {
      if (!TakeLineEnd(&rule, unit)) continue;
      if (mode == kLineEndCr || mode == kLineEndCrLf) out[n++] = '\r';
      if (mode == kLineEndLf || mode == kLineEndCrLf) out[n++] = '\n';
      continue;
    }
    std::memcpy(out + n, table.bytes[unit], 2);
    n += table.length[unit];
  }
}

}  // namespace

int DecodeUtf16Le(char** result, const uint16_t* units, int mode) {
  if (result == nullptr || units == nullptr) return -1;
  if (*units == kByteOrderMark) ++units;
  if (*units == 0) return -1;  // nothing to convert: an empty text fails
  const int line_mode = mode & 0xF00;
  const uint16_t* end = nullptr;
  const std::size_t length = MeasureUnits(units, line_mode, &end);
  if (length == kUnconvertible) return -1;
  char* text = static_cast<char*>(MemAlloc(length + 1));
  if (text == nullptr) return -1;
  WriteUnits(units, end, line_mode, text);
  text[length] = 0;
  *result = text;
  return kUtf16Le;
}

int SwapUtf16Bytes(uint16_t** result, const uint16_t* units, int mode) {
  if (result == nullptr || units == nullptr) return -1;
  std::size_t count = 0;
  while (units[count] != 0) ++count;
  if (count >= INT32_MAX) return -1;  // beyond what a buffer holds
  WideBuffer out;
  InitWideBuffer(&out);
  // Only CR LF line ends make the output longer than the input.
  if (ReserveWideBuffer(&out, static_cast<uint32_t>(count))) {
    LineEndRule rule = StartLineEndRule(mode);
    for (const uint16_t* u = units; *u != 0; ++u) {
      const unsigned swapped = ((*u & 0xFFu) << 8) | (*u >> 8);
      if (mode != 0 && (swapped == '\r' || swapped == '\n')) {
        PutLineEnd(&rule, &out, swapped);
      } else {
        PushUnit(&out, static_cast<int>(swapped));
      }
    }
  }
  return FinishWideStage(&out, true, result, kUtf16Be);
}

int DecodeUtf16Be(char** result, const uint16_t* units, int mode) {
  if (result == nullptr || units == nullptr) return -1;
  uint16_t* swapped = nullptr;
  if (SwapUtf16Bytes(&swapped, units, mode) == -1) return -1;
  // The line ends were handled while swapping.
  int decoded = DecodeUtf16Le(result, swapped, 0);
  MemFree(swapped);
  return decoded == -1 ? -1 : kUtf16Be;
}

}  // namespace kelvane
