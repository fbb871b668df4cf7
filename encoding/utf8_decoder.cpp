// Strict UTF-8 to UTF-16LE units, and to Shift-JIS.
//
// Only the shortest forms of U+0001-U+FFFF are accepted: a continuation byte
// outside 80-BF, an overlong form (C0, C1, E0 80-9F), a surrogate (ED A0-BF),
// a four-byte sequence, a stray continuation byte and a sequence cut off by
// the end of the text all fail it, so nothing malformed reaches the HTML
// converter disguised as markup. A continuation byte is read only when the
// one before it was valid, so the scan never passes the NUL that ends the text.
// The line-end rule applies to the one-byte characters; no longer form can be
// CR or LF.
//
// DecodeUtf8 gives what Utf8ToUtf16 followed by DecodeUtf16Le gives, in one
// pass and without the UTF-16 block between them: each character's unit is
// looked up in the cp932 codes as soon as it is decoded. The UTF-16 stage's
// own rules come along: it skips one U+FEFF as its first unit (a second mark,
// or one behind line ends that the mode drops), and a text without units or
// with a unit that cp932 lacks fails.
#include "encoding/utf8_decoder.h"

#include <bit>
#include <cstring>

#include "common/buffers.h"
#include "common/heap.h"
#include "common/vector_scan.h"
#include "encoding/encoding_id.h"
#include "encoding/line_end_rule.h"
#include "encoding/plain_run_copy.h"
#include "encoding/stage_start.h"
#include "encoding/unit_codes.h"

namespace kelvane {
namespace {

constexpr unsigned kByteOrderMark = 0xFEFF;

bool IsContinuation(unsigned b) {
  return b >= 0x80 && b <= 0xBF;
}

bool StartsWithMark(const unsigned char* p) {
  return p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
}

// The two- or three-byte sequence at p: the bytes it takes, with its unit in
// *unit, or 0 when it is not a well-formed sequence.
int ReadSequence(const unsigned char* p, unsigned* unit) {
  const unsigned b0 = p[0];
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (!IsContinuation(p[1])) return 0;
    *unit = ((b0 & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;   // below: overlong
    const unsigned high = b0 == 0xED ? 0x9F : 0xBF;  // above: surrogates
    if (p[1] < low || p[1] > high || !IsContinuation(p[2])) return 0;
    *unit = ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return 3;
  }
  return 0;  // 80-BF, C0, C1, F0-FF
}

// Where the bulk loop writes: UTF-16 units as they are...
struct UnitOutput {
  using Buffer = WideBuffer;
  using Element = uint16_t;
  static uint32_t* Fill(WideBuffer* b) { return &b->count; }
  // Widens the eight ASCII bytes at p.
  static void PutAsciiWord(uint16_t* d, const unsigned char* p, uint64_t) {
    for (int i = 0; i < 8; ++i) d[i] = p[i];
  }
  // False for a surrogate, the one unit of a well-formed sequence's shape
  // that is no character.
  bool Put(uint16_t** d, unsigned unit) const {
    if ((unit & 0xF800) == 0xD800) return false;
    *(*d)++ = static_cast<uint16_t>(unit);
    return true;
  }
};

// ... or their cp932 forms, four bytes written and the output moved on by the
// form's length; false, with nothing written, for a unit without a form.
struct CodeOutput {
  using Buffer = TextBuffer;
  using Element = char;
  static uint32_t* Fill(TextBuffer* b) { return &b->length; }
  // ASCII is its own code in cp932.
  static void PutAsciiWord(char* d, const unsigned char*, uint64_t word) {
    std::memcpy(d, &word, sizeof word);
  }
  bool Put(char** d, unsigned unit) const {
    // Kana and kanji first: one load, and a constant step on.
    uint16_t pair;
    std::memcpy(&pair, codes->two_byte[unit], 2);
    if (pair != 0) [[likely]] {
      std::memcpy(*d, &pair, 2);
      *d += 2;
      return true;
    }
    const unsigned length = codes->length[unit];
    if (length == kNoCode) return false;
    std::memcpy(*d, codes->bytes[unit], kLongestCp932Form);
    *d += length;
    return true;
  }
  const CodeByUnit* codes;
};

// Whether both three-byte sequences in the low six bytes of `word` have the
// form of one: 1110xxxx 10xxxxxx 10xxxxxx.
inline bool TwoThreeByteForms(uint64_t word) {
  return (word & 0xC0C0F0C0C0F0) == 0x8080E08080E0;
}

// The unit of the three-byte sequence in the low bytes of `bytes`, which has
// the form of one; below 0x800 when it is overlong.
inline unsigned ThreeByteUnit(uint64_t bytes) {
  return static_cast<unsigned>(((bytes & 0x0F) << 12) | ((bytes >> 2) & 0xFC0) |
                               ((bytes >> 16) & 0x3F));
}

// Converts pairs of three-byte sequences from p, eight bytes read at a time,
// while the block has room (two forms of four bytes at most); returns where
// it stopped, which is p when not even the first sequence could be converted.
// A surrogate stops it in Put, which finds no form for one; anything else
// stops it here, and is left to the caller's tests.
template <typename Output>
const unsigned char* DecodeThreeByteRun(const unsigned char* p, const unsigned char* end,
                                        typename Output::Element* last, const Output& output,
                                        typename Output::Element** d) {
  if constexpr (kVectorScans) {
    // Five sequences a block while it has room for five forms; what ends the
    // run goes on to the word loop below, which stops there too.
    uint16_t units[kBlockBytes];
    while (end - p >= kBlockBytes && last - *d >= 12) {
      const int formed = ThreeByteUnits(p, units);
      int taken = 0;
      while (taken < formed && output.Put(d, units[3 * taken])) ++taken;
      p += 3 * taken;
      if (taken != 5) break;
    }
  }
  while (*d <= last && end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if (!TwoThreeByteForms(word)) break;
    const unsigned first = ThreeByteUnit(word);
    const unsigned second = ThreeByteUnit(word >> 24);
    if (first < 0x800 || second < 0x800) break;
    if (!output.Put(d, first)) break;
    p += 3;
    if (!output.Put(d, second)) break;
    p += 3;
  }
  return p;
}

// Decodes what makes up the bulk of a page, ASCII that the line-end rule
// leaves alone (printable runs eight bytes at a time) and well-formed two- and
// three-byte sequences, in one loop while the block has room for eight
// elements and the terminator. Writes through a local pointer, so the
// buffer's fill is not stored and reloaded around every character. Returns
// where it stopped, which the caller then handles: the end, a line end, a
// malformed sequence, a unit without a code, or a block too full to go on.
template <typename Output>
const unsigned char* DecodeBulk(const unsigned char* p, const unsigned char* end,
                                const ByteStops& stops, const Output& output,
                                typename Output::Buffer* out) {
  uint32_t* fill = Output::Fill(out);
  if (out->capacity - *fill < 10) return p;
  typename Output::Element* d = out->data + *fill;
  typename Output::Element* const last = out->data + out->capacity - 9;
  while (d <= last) {
    const unsigned b0 = p[0];
    if (b0 < 0x80) {
      if (stops.stop[b0]) break;
      if (std::endian::native == std::endian::little && end - p >= 8) {
        // All eight bytes written, and the loop moves on by as many of them
        // as are printable ASCII; the rest are written over next.
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const int printable = PrintableAsciiPrefix(word);
        if (printable != 0) {
          Output::PutAsciiWord(d, p, word);
          d += printable;
          p += printable;
          continue;
        }
      }
      *d++ = static_cast<typename Output::Element>(b0);
      ++p;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      if constexpr (std::endian::native == std::endian::little) {
        // Japanese text is mostly runs of three-byte sequences: two of them
        // are tested in one word and converted without a branch per byte.
        const unsigned char* after = DecodeThreeByteRun(p, end, last, output, &d);
        if (after != p) {
          p = after;
          continue;
        }
      }
      // ReadSequence's tests, written again so that each branch advances by
      // a constant: an advance read from a shared decoder puts the loads on
      // the loop's critical path and halves the speed.
      const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;   // below: overlong
      const unsigned high = b0 == 0xED ? 0x9F : 0xBF;  // above: surrogates
      if (p[1] < low || p[1] > high || !IsContinuation(p[2])) break;
      if (!output.Put(&d, ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))) break;
      p += 3;
    } else if (b0 >= 0xC2 && b0 <= 0xDF && IsContinuation(p[1])) {
      if (!output.Put(&d, ((b0 & 0x1F) << 6) | (p[1] & 0x3F))) break;
      p += 2;
    } else {
      break;
    }
  }
  *fill = static_cast<uint32_t>(d - out->data);
  return p;
}

// The text after its byte order mark; null for null.
const char* TextAfterMark(const char* bytes) {
  if (bytes == nullptr) return nullptr;
  return StartsWithMark(reinterpret_cast<const unsigned char*>(bytes)) ? bytes + 3 : bytes;
}

// Decodes the text from p: the bulk loop, and one step at a time for what
// stops it, through the buffer's own growth when the block is full: an ASCII
// byte for the line-end rule, or one sequence, whose unit goes to `sequence`
// (false fails the text). True once the end is reached.
template <typename Output, typename Sequence>
bool DecodeText(StageStart* start, const Output& output, typename Output::Buffer* out,
                Sequence sequence) {
  const unsigned char* p = start->p;
  const unsigned char* const end = start->end;
  const ByteStops& stops = start->stops;
  for (;;) {
    const unsigned char* after = DecodeBulk(p, end, stops, output, out);
    if (after != p) {
      p = after;
      continue;
    }
    if (*p == 0) return true;
    if (*p < 0x80) {
      PutAsciiByte(&start->rule, stops.stop[*p], out, *p);
      ++p;
      continue;
    }
    unsigned unit = 0;
    const int taken = ReadSequence(p, &unit);
    if (taken == 0 || !sequence(unit)) return false;
    p += taken;
  }
}

}  // namespace

int Utf8ToUtf16(uint16_t** result, const char* bytes, int mode) {
  WideBuffer out;
  StageStart start;
  if (!StartStage(result, TextAfterMark(bytes), mode, 0, &out, &start)) return -1;
  // No character needs more units than bytes.
  const bool ok = start.ok && DecodeText(&start, UnitOutput{}, &out, [&out](unsigned unit) {
                    PushUnit(&out, static_cast<int>(unit));
                    return true;
                  });
  return FinishWideStage(&out, ok, result, kUtf8);
}

int DecodeUtf8(char** result, const char* bytes, int mode) {
  return DecodeUtf8(result, bytes, mode, nullptr);
}

namespace {

// Decodes the text that start describes into out, which it finishes.
int DecodeStarted(StageStart start, TextBuffer out, char** result, uint32_t* length) {
  // Most characters' forms are no longer than their UTF-8; the rest, near
  // forms such as "(TM)" and CR LF line ends, grow the buffer.
  const CodeByUnit& codes = Cp932Codes();
  bool mark_skipped = false;
  bool ok = start.ok && DecodeText(&start, CodeOutput{&codes}, &out, [&](unsigned unit) {
              // The UTF-16 stage's own mark: a U+FEFF before any other unit, once.
              // No unit has been written while the output is empty, as every unit
              // with a code writes a byte; line ends that a mode drops write no unit.
              if (unit == kByteOrderMark && out.length == 0 && !mark_skipped) {
                mark_skipped = true;
                return true;
              }
              const unsigned form_length = codes.length[unit];
              if (form_length == kNoCode) return false;
              for (unsigned i = 0; i < form_length; ++i) PushByte(&out, codes.bytes[unit][i]);
              return true;
            });
  // The UTF-16 stage fails on a text without units.
  if (out.length == 0) ok = false;
  return FinishTextStage(&out, ok, result, kUtf8, length);
}

}  // namespace

int DecodeUtf8(char** result, const char* bytes, int mode, uint32_t* length) {
  TextBuffer out;
  StageStart start;
  if (!StartStage(result, TextAfterMark(bytes), mode, 0, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeUtf8InBlock(char** result, const char* block, std::size_t size, int mode,
                      uint32_t* length) {
  const char* text = TextAfterMark(block);
  TextBuffer out;
  StageStart start;
  if (!StartStageInBlock(result, text, size - (text - block), mode, 0, &out, &start)) return -1;
  return DecodeStarted(start, out, result, length);
}

int DecodeUtf8Into(TextBuffer* region, const char* block, std::size_t size, int mode,
                   uint32_t* length) {
  const char* text = TextAfterMark(block);
  StageStart start;
  if (region == nullptr || !StartStageInRegion(text, size - (text - block), mode, 0, &start)) {
    return -1;
  }
  char* result = nullptr;
  return DecodeStarted(start, *region, &result, length);
}

}  // namespace kelvane
