// Strict UTF-8 to UTF-16LE units, and the chain on to Shift-JIS.
//
// Only the shortest forms of U+0001-U+FFFF are accepted: a continuation byte
// outside 80-BF, an overlong form (C0, C1, E0 80-9F), a surrogate (ED A0-BF),
// a four-byte sequence, a stray continuation byte and a sequence cut off by
// the end of the text all fail it, so nothing malformed reaches the HTML
// converter disguised as markup. A continuation byte is read only when the
// one before it was valid, so the scan never passes the NUL that ends the text.
// The line-end rule applies to the one-byte characters; no longer form can be
// CR or LF.
#include "encoding/utf8_decoder.h"

#include <bit>
#include <cstring>

#include "common/buffers.h"
#include "common/heap.h"
#include "encoding/encoding_id.h"
#include "encoding/line_end_rule.h"
#include "encoding/utf16_decoder.h"

namespace kelvane {
namespace {

bool IsContinuation(unsigned b) {
  return b >= 0x80 && b <= 0xBF;
}

// Decodes the two- or three-byte sequence at p into out; the bytes it took, or
// 0 when it is not a well-formed sequence.
int DecodeSequence(const unsigned char* p, WideBuffer* out) {
  const unsigned b0 = p[0];
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (!IsContinuation(p[1])) return 0;
    PushUnit(out, static_cast<int>(((b0 & 0x1F) << 6) | (p[1] & 0x3F)));
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;   // below: overlong
    const unsigned high = b0 == 0xED ? 0x9F : 0xBF;  // above: surrogates
    if (p[1] < low || p[1] > high || !IsContinuation(p[2])) return 0;
    PushUnit(out, static_cast<int>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
    return 3;
  }
  return 0;  // 80-BF, C0, C1, F0-FF
}

// Decodes what makes up the bulk of a page, ASCII that the line-end rule
// leaves alone (printable runs eight bytes at a time) and well-formed two- and
// three-byte sequences, in one loop while the block has room for eight units
// and the zero unit. Writes through a local pointer, so the buffer's count is
// not stored and reloaded around every unit. Returns where it stopped, which
// the caller then handles: the end, a line end, a malformed sequence, or a
// block too full to go on.
const unsigned char* DecodeBulk(const unsigned char* p, const unsigned char* end,
                                const ByteStops& stops, WideBuffer* out) {
  if (out->capacity - out->count < 10) return p;
  uint16_t* d = out->data + out->count;
  uint16_t* const last = out->data + out->capacity - 9;
  while (d <= last) {
    const unsigned b0 = p[0];
    if (b0 < 0x80) {
      if (stops.stop[b0]) break;
      if (std::endian::native == std::endian::little && end - p >= 8) {
        // All eight bytes widened, and the loop moves on by as many of them
        // as are printable ASCII; the rest are written over next.
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const int printable = PrintableAsciiPrefix(word);
        if (printable != 0) {
          for (int i = 0; i < 8; ++i) d[i] = p[i];
          d += printable;
          p += printable;
          continue;
        }
      }
      *d++ = static_cast<uint16_t>(b0);
      ++p;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      // DecodeSequence's tests, written again so that each branch advances by
      // a constant: an advance read from a shared decoder puts the loads on
      // the loop's critical path and halves the speed.
      const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;   // below: overlong
      const unsigned high = b0 == 0xED ? 0x9F : 0xBF;  // above: surrogates
      if (p[1] < low || p[1] > high || !IsContinuation(p[2])) break;
      *d++ = static_cast<uint16_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      p += 3;
    } else if (b0 >= 0xC2 && b0 <= 0xDF && IsContinuation(p[1])) {
      *d++ = static_cast<uint16_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else {
      break;
    }
  }
  out->count = static_cast<uint32_t>(d - out->data);
  return p;
}

}  // namespace

int Utf8ToUtf16(uint16_t** result, const char* bytes, int mode) {
  if (result == nullptr || bytes == nullptr) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
  const std::size_t length = std::strlen(reinterpret_cast<const char*>(p));
  if (length >= INT32_MAX) return -1;  // beyond what a buffer holds
  const unsigned char* const end = p + length;
  WideBuffer out;
  InitWideBuffer(&out);
  // No character needs more units than bytes; only CR LF line ends grow.
  bool ok = ReserveWideBuffer(&out, static_cast<uint32_t>(length)) != 0;
  const ByteStops stops = MakeByteStops(mode, 0x80, 0);
  LineEndRule rule = StartLineEndRule(mode);
  while (ok) {
    const unsigned char* after = DecodeBulk(p, end, stops, &out);
    if (after != p) {
      p = after;
      continue;
    }
    // One step for what stopped the bulk loop, through the buffer's own
    // growth when the block is full.
    if (*p == 0) break;
    if (*p < 0x80) {
      PutAsciiByte(&rule, stops.stop[*p], &out, *p);
      ++p;
      continue;
    }
    int taken = DecodeSequence(p, &out);
    ok = taken != 0;
    p += taken;
  }
  return FinishWideStage(&out, ok, result, kUtf8);
}

int DecodeUtf8(char** result, const char* bytes, int mode) {
  if (result == nullptr || bytes == nullptr) return -1;
  uint16_t* units = nullptr;
  if (Utf8ToUtf16(&units, bytes, mode) == -1) return -1;
  // The line ends were handled on the way to UTF-16.
  int decoded = DecodeUtf16Le(result, units, 0);
  MemFree(units);
  return decoded == -1 ? -1 : kUtf8;
}

}  // namespace kelvane
