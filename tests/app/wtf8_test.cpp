// Paths between UTF-16 and WTF-8: rows that must go both ways unchanged, and
// byte strings that name no UTF-16 text.

#include "app/wtf8.h"

#include <gtest/gtest.h>

#include <string>

#include "common/heap.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

std::string ToWtf8(const std::u16string& units) {
  char* block = Utf16ToWtf8(reinterpret_cast<const uint16_t*>(units.data()), units.size());
  EXPECT_NE(block, nullptr);
  std::string text = block != nullptr ? block : "";
  MemFree(block);
  return text;
}

std::u16string ToUtf16(const std::string& text) {
  std::size_t count = 99;
  uint16_t* block = Wtf8ToUtf16(text.c_str(), &count);
  EXPECT_NE(block, nullptr);
  if (block == nullptr) return u"";
  EXPECT_EQ(block[count], 0);
  std::u16string units(reinterpret_cast<const char16_t*>(block), count);
  MemFree(block);
  return units;
}

struct RoundTrip {
  const char* name;
  std::u16string units;
  std::string bytes;
};

const RoundTrip kRoundTrips[] = {
    {"Empty", u"", ""},
    {"Ascii", u"C:\\a b\\page.htm", "C:\\a b\\page.htm"},
    {"TwoBytes", u"caf\u00E9", "caf\xC3\xA9"},
    {"JapaneseAndHangul", u"\u65E5\uD55C", "\xE6\x97\xA5\xED\x95\x9C"},
    {"HeartOutsideCp932", u"\u2661", "\xE2\x99\xA1"},
    {"EmojiIsOnePairAndFourBytes", u"\U0001F600.htm", "\xF0\x9F\x98\x80.htm"},
    {"LastCodePoint", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    {"LoneHighSurrogateKept", u"a\xD800.htm", "a\xED\xA0\x80.htm"},
    {"LoneLowSurrogateKept", u"\xDFFF", "\xED\xBF\xBF"},
    {"LowBeforeHighIsNoPair", u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
    {"HighAtTheEnd", u"x\xDBFF", "x\xED\xAF\xBF"},
};

TEST(Wtf8, RoundTrips) {
  for (const RoundTrip& row : kRoundTrips) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ToWtf8(row.units), row.bytes);
    EXPECT_EQ(ToUtf16(row.bytes), row.units);
  }
}

struct BadBytes {
  const char* name;
  std::string bytes;
  std::u16string units;
};

const BadBytes kBadBytes[] = {
    {"StrayContinuation", "a\x80z", u"a\uFFFDz"},
    {"CutAtTheEnd", "a\xE3\x81", u"a\uFFFD\uFFFD"},
    {"CutBeforeAscii", "\xE3.htm", u"\uFFFD.htm"},
    {"OverlongSlash", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"PastTheLastCodePoint", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"ShiftJisIsNoUtf8", "\x83\x5C.htm", u"\uFFFD\\.htm"},
};

TEST(Wtf8, BytesThatStartNoSequenceBecomeReplacements) {
  for (const BadBytes& row : kBadBytes) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ToUtf16(row.bytes), row.units);
  }
}

TEST(Wtf8, OutOfMemoryGivesNull) {
  testing::ScopedHeapFaults faults;
  const uint16_t units[] = {'a'};
  std::size_t count = 0;
  testing::FailNthAllocation(1);
  EXPECT_EQ(Utf16ToWtf8(units, 1), nullptr);
  testing::FailNthAllocation(1);
  EXPECT_EQ(Wtf8ToUtf16("a", &count), nullptr);
}

}  // namespace
}  // namespace kelvane
