// NumberReader must give what ParseNumber gives for every span, whatever the
// spans before it: overlapping spans reuse the cursors, and a span past the
// last one starts them afresh.
#include "html/number_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kelvane {
namespace {

struct Span {
  int begin;
  int end;
};

struct ReaderRow {
  const char* name;
  const char* text;
  int base;
  std::vector<Span> spans;  // in increasing order of start, as the scan asks
};

// Reads each span in order and compares with the plain definition.
void ExpectReaderMatchesParse(const std::string& text, int base, const std::vector<Span>& spans,
                              const std::string& name) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.c_str());
  NumberReader reader;
  InitNumberReader(&reader, base, p);
  for (const Span& s : spans) {
    const uint32_t got = ReadNumber(&reader, p + s.begin, p + s.end);
    const uint32_t want = ParseNumber(text.c_str() + s.begin, s.end - s.begin, base);
    ASSERT_EQ(got, want) << name << ": span " << s.begin << "-" << s.end;
  }
}

TEST(NumberReader, AgreesWithParseNumber) {
  const ReaderRow rows[] = {
      {"disjoint spans", "12;345;6789", 10, {{0, 2}, {3, 6}, {7, 11}}},
      {"nested ends share one stop", "12345678", 10, {{0, 8}, {2, 8}, {5, 8}}},
      {"a digit past the base ends every span", "123a456", 10, {{0, 7}, {1, 7}, {4, 7}}},
      {"hexadecimal with letters in any case", "fFaA09;Beef", 16, {{0, 6}, {1, 6}, {7, 11}}},
      {"other bytes are skipped", "1 2-3<b>4", 10, {{0, 9}, {2, 9}, {5, 9}}},
      {"wraps mod 2^32", "99999999999999999999", 10, {{0, 20}, {3, 20}, {10, 20}}},
      {"thirty-two hex digits shift every old digit out",
       "123456789abcdef0123456789abcdef0ff",
       16,
       {{0, 34}, {1, 34}, {2, 34}}},
      {"empty spans", "12;;34", 10, {{2, 2}, {3, 3}, {4, 6}}},
  };
  for (const ReaderRow& r : rows) ExpectReaderMatchesParse(r.text, r.base, r.spans, r.name);
}

// Random texts of digits, letters and separators, read as the scan reads
// them: spans of rising start whose ends never fall (each ends at the first
// ";" after its start).
TEST(NumberReader, AgreesWithParseNumberOnRandomSpans) {
  std::mt19937 random(20261207);
  const std::string alphabet = "0123456789abcdefxyzXYZ ;&#<>";
  for (int round = 0; round < 2000; ++round) {
    std::string text(1 + random() % 60, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    const int base = round % 2 == 0 ? 10 : 16;
    std::vector<Span> spans;
    int begin = 0;
    int end = 0;
    while (begin < static_cast<int>(text.size())) {
      if (end < begin || random() % 3 == 0) {
        end = std::max(end, begin + static_cast<int>(random() % (text.size() - begin + 1)));
      }
      spans.push_back({begin, end});
      begin += 1 + static_cast<int>(random() % 4);
    }
    ExpectReaderMatchesParse(text, base, spans, "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace kelvane
