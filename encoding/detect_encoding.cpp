// DetectEncoding: byte order marks, then one forward scan that applies the
// first matching rule at each position and keeps three scores. The rules, in
// order, for the byte c and the next byte n:
//   1. ESC: n is $ or ( -> ISO-2022-JP; else advance 1.
//   2. 00-7F: advance 1.
//   3. E0-EF while UTF-8 is possible: two continuation bytes score UTF-8.
//   4. C0-DF while UTF-8 is possible: one continuation byte scores UTF-8.
//      (A broken sequence rules UTF-8 out and goes on with rule 5.)
//   4a. F0-F4 while UTF-8 is possible: three continuation bytes score UTF-8,
//      so a page with emoji is taken for UTF-8; anything else goes on with
//      rule 5 and leaves the UTF-8 score as it is.
//   5. 8E: n in A1-DF while Shift-JIS has scored nothing scores EUC-JP; else
//      Shift-JIS.
//   6. 81-9F: Shift-JIS.
//   7. A1-DF: n FD or FE -> EUC-JP; EUC-JP hiragana or katakana scores EUC-JP
//      by 1; anything else scores both Shift-JIS and EUC-JP.
//   8. FD, FE: EUC-JP.
//   9. E0-FC: scores EUC-JP.
//  10. 80, A0, FF: advance 1.
// A score that reaches the limit decides at once. A NUL with more text behind
// it means UTF-16 without a mark; otherwise only a score greater than both
// others decides, and the caller's fallback answers the rest.
//
// The text is followed by at least two NUL bytes. The scan stands only on
// non-NUL bytes, so the next byte is always readable; the byte after that is
// read only when the next one is not NUL, and the one after that only when
// both are continuation bytes. An advance of two may step over a
// NUL and land on a second one: that is the end of the text (the pair could be
// the two terminators), and the byte behind it is never read.
#include "encoding/detect_encoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/word_scan.h"
#include "encoding/encoding_id.h"

namespace kelvane {
namespace {

struct Scores {
  int64_t utf8 = 0;  // -1 once a UTF-8 lead lacked its continuation bytes
  int64_t euc = 0;
  int64_t sjis = 0;
};

bool InRange(unsigned b, unsigned low, unsigned high) {
  return b >= low && b <= high;
}

// What one rule did: go on `advance` bytes further, or end with `result`.
struct Step {
  int advance;  // 0 when the rule returned
  int result;
};

constexpr Step Advance(int k) {
  return Step{k, 0};
}
constexpr Step Return(int id) {
  return Step{0, id};
}
// A UTF-8 rule that did not apply: the rules from 5 on decide the byte.
constexpr Step kFallThrough{0, 0};
bool FellThrough(Step s) {
  return s.advance == 0 && s.result == 0;
}

// Rules 5 to 10: the bytes 80-FF once UTF-8 did not take them.
Step LegacyRule(const unsigned char* p, Scores* s, int64_t limit) {
  const unsigned c = p[0];
  const unsigned n = p[1];
  if (c == 0x8E) {
    if (!InRange(n, 0xA1, 0xDF) || s->sjis != 0) return Return(kShiftJis);
    s->euc += 2;
    return s->euc >= limit ? Return(kEucJp) : Advance(2);
  }
  if (InRange(c, 0x81, 0x9F)) return Return(kShiftJis);
  if (InRange(c, 0xA1, 0xDF)) {
    if (n == 0xFD || n == 0xFE) return Return(kEucJp);
    // EUC-JP hiragana (row 4) and katakana (row 5) count for EUC-JP only.
    if ((c == 0xA4 && InRange(n, 0xA1, 0xF3)) || (c == 0xA5 && InRange(n, 0xA1, 0xF6))) {
      s->euc += 1;
      return s->euc >= limit ? Return(kEucJp) : Advance(2);
    }
    s->sjis += 2;
    if (s->sjis >= limit) return Return(kShiftJis);
    s->euc += 2;
    return s->euc >= limit ? Return(kEucJp) : Advance(2);
  }
  if (c == 0xFD || c == 0xFE) return Return(kEucJp);
  if (InRange(c, 0xE0, 0xFC)) {
    s->euc += 2;
    return s->euc >= limit ? Return(kEucJp) : Advance(2);
  }
  return Advance(1);  // 80, A0, FF
}

// Rules 3, 4 and 4a: a UTF-8 lead byte while UTF-8 is still possible. A
// broken two- or three-byte sequence rules UTF-8 out for the rest of the scan
// and falls through; a broken four-byte one only falls through.
Step Utf8Rule(const unsigned char* p, Scores* s, int64_t limit) {
  const unsigned c = p[0];
  if (InRange(c, 0xF0, 0xF4)) {
    // p[3] is read only after two continuation bytes, so it is at worst the
    // first terminating NUL.
    if (!InRange(p[1], 0x80, 0xBF) || !InRange(p[2], 0x80, 0xBF) || !InRange(p[3], 0x80, 0xBF)) {
      return kFallThrough;
    }
    s->utf8 += 2;
    return s->utf8 >= limit ? Return(kUtf8) : Advance(4);
  }
  if (InRange(c, 0xE0, 0xEF)) {
    if (InRange(p[1], 0x80, 0xBF) && InRange(p[2], 0x80, 0xBF)) {
      s->utf8 += 2;
      return s->utf8 >= limit ? Return(kUtf8) : Advance(3);
    }
  } else if (InRange(p[1], 0x80, 0xBF)) {  // c is C0-DF
    s->utf8 += 2;
    return s->utf8 >= limit ? Return(kUtf8) : Advance(2);
  }
  s->utf8 = -1;
  return kFallThrough;
}

// After this many bytes without a decision the text is probably ASCII through
// and through; from there its length is taken once and ASCII goes by words.
constexpr std::size_t kBulkAfter = 4096;

// Bytes from p up to end that are ASCII other than ESC, passed eight at a time:
// none of them moves a score or ends the scan, so skipping them is the same
// as advancing over each. Stops at the word that holds anything else.
std::size_t PlainAsciiWords(const unsigned char* p, const unsigned char* end) {
  const unsigned char* q = p;
  while (end - q >= 8) {
    uint64_t word;
    std::memcpy(&word, q, 8);
    if ((BytesFrom80(word) | BytesEqualTo(word, 0x1B)) != 0) break;
    q += 8;
  }
  return static_cast<std::size_t>(q - p);
}

int ByteOrderMark(const unsigned char* t) {
  if (t[0] == 0xFF && t[1] == 0xFE) return kUtf16Le;
  if (t[0] == 0xFE && t[1] == 0xFF) return kUtf16Be;
  if (t[0] == 0xEF && t[1] == 0xBB && t[2] == 0xBF) return kUtf8;
  return 0;
}

int CompareScores(const Scores& s, int fallback) {
  if (s.utf8 > s.euc && s.utf8 > s.sjis) return kUtf8;
  if (s.euc > s.utf8 && s.euc > s.sjis) return kEucJp;
  if (s.sjis > s.utf8 && s.sjis > s.euc) return kShiftJis;
  return fallback;
}

}  // namespace

int DetectEncoding(const char* text, int fallback, int limit) {
  if (text == nullptr) return -1;
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  if (int bom = ByteOrderMark(t); bom != 0) return bom;

  Scores s;
  std::size_t i = 0;
  bool stepped_over_nul = false;       // the last advance jumped a NUL
  const unsigned char* end = nullptr;  // the NUL, once the text looks all ASCII
  while (t[i] != 0) {
    const unsigned c = t[i];
    Step step;
    if (c == 0x1B) {
      if (t[i + 1] == '$' || t[i + 1] == '(') return kIso2022Jp;
      step = Advance(1);
    } else if (c < 0x80) {
      if (end == nullptr && i >= kBulkAfter) {
        end = t + i + std::strlen(reinterpret_cast<const char*>(t + i));
      }
      const std::size_t plain = end != nullptr ? PlainAsciiWords(t + i, end) : 0;
      if (plain != 0) {
        i += plain;
        stepped_over_nul = false;
        continue;
      }
      step = Advance(1);
    } else {
      step = kFallThrough;
      if (s.utf8 != -1 && InRange(c, 0xC0, 0xF4)) step = Utf8Rule(t + i, &s, limit);
      if (FellThrough(step)) step = LegacyRule(t + i, &s, limit);
    }
    if (step.advance == 0) return step.result;
    stepped_over_nul = step.advance == 2 && t[i + 1] == 0;
    i += static_cast<std::size_t>(step.advance);
  }
  // A NUL inside the text with more text behind it: UTF-16 without a mark.
  if (!stepped_over_nul && t[i + 1] != 0) return i % 2 == 1 ? kUtf16Le : kUtf16Be;
  return CompareScores(s, fallback);
}

}  // namespace kelvane
