// DecodeEucJp: EUC-JP to Shift-JIS through a table of JIS X 0208 pairs, one
// loop over the lead byte.
//
// Accepted: ASCII (the line-end rule applies), JIS X 0208 pairs with both
// bytes in A1-FE, and half-width katakana as 8E A1-DF. Everything else fails
// the text instead of writing bytes that are not Shift-JIS: JIS X 0212 (8F,
// which cp932 cannot hold), the leads 80-A0 and FF, and a pair whose second
// byte is out of range, such as a lead cut off by the end of the text, and a
// pair whose Shift-JIS code is no cp932 character (unassigned rows and cells).
// A lead is never the last byte read: the text is followed by two NUL bytes.
#include "encoding/eucjp_decoder.h"

#include <cstring>

#include "common/buffers.h"
#include "encoding/encoding_id.h"
#include "encoding/jis_to_shiftjis.h"
#include "encoding/line_end_rule.h"
#include "encoding/plain_run_copy.h"
#include "encoding/stage_start.h"

namespace kelvane {
namespace {

bool InRange(unsigned b, unsigned low, unsigned high) {
  return b >= low && b <= high;
}

// The Shift-JIS pair of the JIS X 0208 character at p, both bytes in A1-FE;
// null when the bytes are out of range or the code is no cp932 character. A
// byte below 0x80 wraps around and fails the range test.
inline const uint8_t* ReadJisPair(const unsigned char* p, const JisCodes& codes) {
  return LookUpJisPair(codes, p[0] - 0x80u, p[1] - 0x80u);
}

// Decodes the character at p into out; the bytes it took, or 0 when it cannot
// be decoded.
int DecodeEucCharacter(const unsigned char* p, const JisCodes& codes, TextBuffer* out) {
  if (p[0] == 0x8E) {
    // Half-width katakana has the same byte in both encodings.
    if (!InRange(p[1], 0xA1, 0xDF)) return 0;
    PushByte(out, static_cast<int>(p[1]));
    return 2;
  }
  const uint8_t* pair = ReadJisPair(p, codes);
  if (pair == nullptr) return 0;
  PushByte(out, pair[0]);
  PushByte(out, pair[1]);
  return 2;
}

// Converts what makes up the bulk of a page, ASCII that the line-end rule
// leaves alone and JIS X 0208 pairs, in one loop while the block has room for
// a word; returns where it stopped, which the caller then handles: the end, a
// line end, katakana, a pair that fails, or a full block. Writes pairs through
// a local pointer, so the buffer's length is not stored and reloaded around
// every byte.
const unsigned char* DecodeBulk(const unsigned char* p, const unsigned char* end,
                                const ByteStops& stops, const JisCodes& codes, TextBuffer* out) {
  if (out->capacity - out->length < 10) return p;  // no room for a word and the NUL
  char* d = out->data + out->length;
  char* const last = out->data + out->capacity - 9;
  while (d <= last) {
    const unsigned b = p[0];
    if (b < 0x80) {
      out->length = static_cast<uint32_t>(d - out->data);
      const unsigned char* after = CopyPlainRun(stops, p, end, out);
      if (after == p) return p;
      p = after;
      d = out->data + out->length;
      continue;
    }
    if constexpr (kVectorScans) {
      // Kana and kanji eight pairs a step; room is left for the NUL.
      const unsigned char* const from = p;
      ConvertPairBlocks(&p, end, 0x80, &d, out->data + out->capacity - 1);
      if (p != from) continue;
    }
    const uint8_t* pair = ReadJisPair(p, codes);
    if (pair == nullptr) break;
    std::memcpy(d, pair, 2);
    d += 2;
    p += 2;
  }
  out->length = static_cast<uint32_t>(d - out->data);
  return p;
}

// Decodes the text that start describes into out, which it finishes.
int DecodeStarted(StageStart start, TextBuffer out, char** result, uint32_t* length) {
  const ByteStops& stops = start.stops;
  const unsigned char* p = start.p;
  const unsigned char* const end = start.end;
  bool ok = start.ok;
  const JisCodes& codes = Cp932JisCodes();
  while (ok) {
    const unsigned char* after = DecodeBulk(p, end, stops, codes, &out);
    if (after != p) {
      p = after;
      continue;
    }
    // One step for what stopped the bulk loop, through the buffer's own
    // growth when the block is full.
    if (*p == 0) break;
    if (*p < 0x80) {
      PutAsciiByte(&start.rule, stops.stop[*p], &out, *p);
      ++p;
      continue;
    }
    int taken = DecodeEucCharacter(p, codes, &out);
    ok = taken != 0;
    p += taken;
  }
  return FinishTextStage(&out, ok, result, kEucJp, length);
}

}  // namespace

int DecodeEucJp(char** result, const char* text, int mode) {
  return DecodeEucJp(result, text, mode, nullptr);
}

int DecodeEucJp(char** result, const char* text, int mode, uint32_t* length) {
  TextBuffer out;
  StageStart start;
  if (!StartStage(result, text, mode, 0, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeEucJpInBlock(char** result, const char* block, std::size_t size, int mode,
                       uint32_t* length) {
  TextBuffer out;
  StageStart start;
  if (!StartStageInBlock(result, block, size, mode, 0, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeEucJpInto(TextBuffer* region, const char* block, std::size_t size, int mode,
                    uint32_t* length) {
  StageStart start;
  if (region == nullptr || !StartStageInRegion(block, size, mode, 0, &start)) return -1;
  char* result = nullptr;
  return DecodeStarted(start, *region, &result, length);
}

}  // namespace kelvane
