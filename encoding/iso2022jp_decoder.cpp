// DecodeIso2022Jp: ISO-2022-JP to Shift-JIS. The state is the current
// character set, one small integer; the escape test comes first in every set.
//
// Designations: ESC ( B (ASCII) and ESC ( J (JIS X 0201 Roman, whose 5C and 7E
// are what cp932 holds there) both select the one-byte set, where the
// line-end rule applies. ESC $ B and ESC $ @ select JIS X 0208, where both
// bytes of a pair must be 21-7E: CR, LF, 8-bit bytes and the end of the text
// inside a pair fail. ESC ( I selects half-width katakana, 21-5F. Any other
// escape fails the text. The after-CR flag keeps its value across switches.
// No output byte is garbage: a pair whose Shift-JIS code is no cp932
// character fails, and an 8-bit byte in the one-byte set (not ISO-2022-JP,
// but found in Shift-JIS text with a stray escape) is copied only as a whole
// cp932 character.
// The text is followed by two NUL bytes, so the two bytes after any non-NUL
// byte can be read once the first of them is not NUL.
#include "encoding/iso2022jp_decoder.h"

#include <cstring>

#include "common/buffers.h"
#include "encoding/cp932_table.h"
#include "encoding/encoding_id.h"
#include "encoding/jis_to_shiftjis.h"
#include "encoding/line_end_rule.h"
#include "encoding/plain_run_copy.h"
#include "encoding/stage_start.h"

namespace kelvane {
namespace {

enum CharacterSet { kAsciiSet, kJisX0208Set, kKatakanaSet };

constexpr unsigned kEsc = 0x1B;

bool InRange(unsigned b, unsigned low, unsigned high) {
  return b >= low && b <= high;
}

// The set that the escape sequence at p selects, or -1 when it is not one of
// the accepted designations.
int Designation(const unsigned char* p) {
  if (p[1] == '(') {
    if (p[2] == 'B' || p[2] == 'J') return kAsciiSet;
    if (p[2] == 'I') return kKatakanaSet;
  } else if (p[1] == '$') {
    if (p[2] == 'B' || p[2] == '@') return kJisX0208Set;
  }
  return -1;
}

// Decodes the pair at p in the JIS X 0208 set; false when it is not a pair.
bool DecodeJisPair(const unsigned char* p, const JisCodes& codes, TextBuffer* out) {
  const uint8_t* pair = LookUpJisPair(codes, p[0], p[1]);
  if (pair == nullptr) return false;
  PushByte(out, pair[0]);
  PushByte(out, pair[1]);
  return true;
}

// Converts the pairs that follow one another from p in the JIS X 0208 set
// while the block has room for them; returns where it stopped (an escape, the
// end, a byte out of range or no room), which DecodeJisPair then handles.
// Writes through a local pointer, so the buffer's length is not stored and
// reloaded around every byte.
const unsigned char* DecodeJisPairRun(const unsigned char* p, const unsigned char* end,
                                      const JisCodes& codes, TextBuffer* out) {
  char* d = out->data + out->length;
  char* const last = out->data + out->capacity - 2;  // room for a pair and the NUL
  while (d < last) {
    if constexpr (kVectorScans) {
      // Kana and kanji eight pairs a step, room left for the NUL; the pair
      // they stop at goes to the table, at once, as it mostly ends the run.
      ConvertPairBlocks(&p, end, 0, &d, out->data + out->capacity - 1);
      if (d >= last) break;
    }
    const uint8_t* pair = LookUpJisPair(codes, p[0], p[1]);
    if (pair == nullptr) break;
    std::memcpy(d, pair, 2);
    d += 2;
    p += 2;
  }
  out->length = static_cast<uint32_t>(d - out->data);
  return p;
}

// The length of the cp932 character at p, which begins with a byte of 80 or
// above, or 0 when the bytes there are no cp932 character.
std::size_t Cp932CharacterLength(const unsigned char* p) {
  if (IsCp932LeadByte(p[0])) {
    return Cp932ToUnicode(static_cast<uint16_t>(p[0] << 8 | p[1])) != 0 ? 2 : 0;
  }
  return Cp932ToUnicode(p[0]) != 0 ? 1 : 0;
}

// Copies the one-byte text at p up to the next NUL, ESC or (when the rule is
// on) line end; returns the bytes taken, or 0 at bytes that cannot be copied.
std::size_t CopyOneByteRun(const ByteStops& stops, LineEndRule* rule, const unsigned char* p,
                           const unsigned char* end, TextBuffer* out) {
  std::size_t run = static_cast<std::size_t>(CopyPlainRun(stops, p, end, out) - p);
  // Whatever a full block left over goes through the buffer's growth.
  const std::size_t rest = PlainRunLength(stops, p + run, end);
  AppendSpan(out, p + run, rest);
  run += rest;
  if (p[run] == '\r' || p[run] == '\n') {
    PutLineEnd(rule, out, p[run]);
    ++run;
  } else if (p[run] >= 0x80) {
    std::size_t width = Cp932CharacterLength(p + run);
    if (width == 0) return 0;
    AppendSpan(out, p + run, width);
    run += width;
  }
  return run;
}

// Decodes the text that start describes into out, which it finishes.
int DecodeStarted(StageStart start, TextBuffer out, char** result, uint32_t* length) {
  const unsigned char* p = start.p;
  const unsigned char* const end = start.end;
  bool ok = start.ok;
  int set = kAsciiSet;
  const JisCodes& codes = Cp932JisCodes();
  while (ok && *p != 0) {
    if (*p == kEsc) {
      set = Designation(p);
      ok = set >= 0;
      p += 3;
    } else if (set == kAsciiSet) {
      std::size_t taken = CopyOneByteRun(start.stops, &start.rule, p, end, &out);
      ok = taken != 0;
      p += taken;
    } else if (set == kJisX0208Set) {
      const unsigned char* after = DecodeJisPairRun(p, end, codes, &out);
      if (after != p) {
        p = after;
        continue;
      }
      ok = DecodeJisPair(p, codes, &out);
      p += 2;
    } else {
      ok = InRange(*p, 0x21, 0x5F);
      if (ok) PushByte(&out, *p + 0x80);
      p += 1;
    }
  }
  return FinishTextStage(&out, ok, result, kIso2022Jp, length);
}

}  // namespace

int DecodeIso2022Jp(char** result, const char* text, int mode) {
  return DecodeIso2022Jp(result, text, mode, nullptr);
}

int DecodeIso2022Jp(char** result, const char* text, int mode, uint32_t* length) {
  TextBuffer out;
  StageStart start;
  if (!StartStage(result, text, mode, kEsc, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeIso2022JpInBlock(char** result, const char* block, std::size_t size, int mode,
                           uint32_t* length) {
  TextBuffer out;
  StageStart start;
  if (!StartStageInBlock(result, block, size, mode, kEsc, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeIso2022JpInto(TextBuffer* region, const char* block, std::size_t size, int mode,
                        uint32_t* length) {
  StageStart start;
  if (region == nullptr || !StartStageInRegion(block, size, mode, kEsc, &start)) return -1;
  char* result = nullptr;
  return DecodeStarted(start, *region, &result, length);
}

}  // namespace kelvane
