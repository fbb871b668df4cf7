// UTF-16 to Shift-JIS through the project's own cp932 table.
//
// DecodeUtf16Le converts in one pass into a buffer that grows by doubling; a
// unit without a cp932 form (cp932_form.h), a lone surrogate or a pair alike,
// fails the whole text. The line-end rule runs in the same pass:
// CR and LF units are the bytes 0D and 0A, and no other unit's cp932 bytes
// are, so this is the same as normalising the converted text afterwards with
// the flag word mode | 5, which reads the mode from bits 8-11.
//
// Units are little-endian in memory and end at a zero unit, and nothing past
// it is read. Each unit's code and its length come from the flat arrays of
// unit_codes.h.
#include "encoding/utf16_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "encoding/encoding_id.h"
#include "encoding/line_end_rule.h"
#include "encoding/unit_codes.h"

namespace kelvane {
namespace {

constexpr uint16_t kByteOrderMark = 0xFEFF;

// Units converted between two checks of the output's room: every unit writes
// at most kLongestCp932Form bytes (a near form such as "(TM)"), every line end
// two.
constexpr uint32_t kChunkUnits = 1 << 15;
constexpr uint32_t kChunkRoom = kLongestCp932Form * kChunkUnits + 1;

// The unit at p: as it is in memory, or with its bytes swapped for
// big-endian text.
template <bool kSwapped>
unsigned LoadUnit(const uint16_t* p) {
  const unsigned unit = *p;
  return kSwapped ? ((unit & 0xFFu) << 8) | (unit >> 8) : unit;
}

// Converts up to kChunkUnits units from *u into out, which has kChunkRoom
// bytes of room, and moves *u on; false once the zero unit has been reached.
// Every unit writes its four table bytes and moves on by its form's length,
// with no branch on the length: the 0s behind a shorter form are overwritten
// next, or at the end by the NUL. A unit that cp932 lacks moves on by nothing
// and leaves its mark in *seen, every length ORed together.
template <bool kSwapped>
bool ConvertChunk(const uint16_t** u, LineEndRule* rule, TextBuffer* out, unsigned* seen) {
  const CodeByUnit& table = Cp932Codes();
  const int mode = rule->mode;
  const uint16_t* p = *u;
  char* d = out->data + out->length;
  unsigned lengths = 0;
  bool more = true;
  for (uint32_t i = 0; i < kChunkUnits; ++i, ++p) {
    const unsigned unit = LoadUnit<kSwapped>(p);
    // The unit, known before its code is loaded, decides on the end and on
    // line ends.
    if (unit < 0x0E) {
      if (unit == 0) {
        more = false;
        break;
      }
      if (mode != 0 && (unit == '\r' || unit == '\n')) {
        if (!TakeLineEnd(rule, unit)) continue;
        if (mode == kLineEndCr || mode == kLineEndCrLf) *d++ = '\r';
        if (mode == kLineEndLf || mode == kLineEndCrLf) *d++ = '\n';
        continue;
      }
    }
    const unsigned length = table.length[unit];
    lengths |= length;
    std::memcpy(d, table.bytes[unit], kLongestCp932Form);
    d += length & 7;
  }
  *u = p;
  *seen |= lengths;
  out->length = static_cast<uint32_t>(d - out->data);
  return more;
}

// Both byte orders in one pass: big-endian units are swapped as they are
// read, which gives what SwapUtf16Bytes followed by DecodeUtf16Le gives
// without the block of swapped units between them. The mark is looked for
// before the line-end rule, as the rule never drops a text's first unit.
template <bool kSwapped>
int DecodeUtf16(char** result, const uint16_t* units, int mode, int encoding, TextBuffer out,
                uint32_t* length) {
  LineEndRule rule = StartLineEndRule(mode & 0xF00);
  unsigned seen = 0;
  bool more = true;
  // One pass; the output grows by doubling, a chunk's worth ahead.
  while (more && (seen & kNoCode) == 0 && ReserveTextBuffer(&out, kChunkRoom)) {
    more = ConvertChunk<kSwapped>(&units, &rule, &out, &seen);
  }
  return FinishTextStage(&out, !more && (seen & kNoCode) == 0, result, encoding, length);
}

// The units after a leading mark; null when there is nothing to convert (an
// empty text fails).
template <bool kSwapped>
const uint16_t* UnitsAfterMark(const uint16_t* units) {
  if (units == nullptr) return nullptr;
  if (LoadUnit<kSwapped>(units) == kByteOrderMark) ++units;
  return *units != 0 ? units : nullptr;
}

template <bool kSwapped>
int DecodeUtf16(char** result, const uint16_t* units, int mode, int encoding, uint32_t* length) {
  units = UnitsAfterMark<kSwapped>(units);
  if (result == nullptr || units == nullptr) return -1;
  TextBuffer out;
  InitTextBuffer(&out);
  return DecodeUtf16<kSwapped>(result, units, mode, encoding, out, length);
}

template <bool kSwapped>
int DecodeUtf16Into(TextBuffer* region, const uint16_t* units, int mode, int encoding,
                    uint32_t* length) {
  units = UnitsAfterMark<kSwapped>(units);
  if (region == nullptr || units == nullptr) return -1;
  char* result = nullptr;
  return DecodeUtf16<kSwapped>(&result, units, mode, encoding, *region, length);
}

}  // namespace

int DecodeUtf16Le(char** result, const uint16_t* units, int mode) {
  return DecodeUtf16<false>(result, units, mode, kUtf16Le, nullptr);
}

int DecodeUtf16Le(char** result, const uint16_t* units, int mode, uint32_t* length) {
  return DecodeUtf16<false>(result, units, mode, kUtf16Le, length);
}

int DecodeUtf16LeInto(TextBuffer* region, const uint16_t* units, int mode, uint32_t* length) {
  return DecodeUtf16Into<false>(region, units, mode, kUtf16Le, length);
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
  return DecodeUtf16<true>(result, units, mode, kUtf16Be, nullptr);
}

int DecodeUtf16Be(char** result, const uint16_t* units, int mode, uint32_t* length) {
  return DecodeUtf16<true>(result, units, mode, kUtf16Be, length);
}

int DecodeUtf16BeInto(TextBuffer* region, const uint16_t* units, int mode, uint32_t* length) {
  return DecodeUtf16Into<true>(region, units, mode, kUtf16Be, length);
}

}  // namespace kelvane
