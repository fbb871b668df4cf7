// The command-line split: table rows of a line and the words it must give.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvane {
namespace {

void Collect(void* context, const char* word, std::size_t length) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(word, length);
}

std::vector<std::string> Split(const char* line, std::size_t* count = nullptr) {
  std::vector<std::string> words;
  std::size_t n = SplitCommandLine(line, Collect, &words);
  if (count != nullptr) *count = n;
  return words;
}

struct SplitCase {
  const char* name;
  const char* line;
  std::vector<std::string> words;
};

const SplitCase kSplitCases[] = {
    {"EmptyLine", "", {}},
    {"BlanksOnly", "   ", {}},
    {"OneWord", "a.htm", {"a.htm"}},
    {"TwoWordsInOrder", "a.htm b.htm", {"a.htm", "b.htm"}},
    {"SeveralBlanksCountAsOne", "  a.htm    b.htm  ", {"a.htm", "b.htm"}},
    {"QuotedWordKeepsBlanks", "\"My Files/a.htm\" b.htm", {"My Files/a.htm", "b.htm"}},
    {"EmptyQuotesGiveAnEmptyWord", "\"\" a.htm", {"", "a.htm"}},
    {"UnterminatedQuoteDropsTheRest", "a.htm \"b c.htm d.htm", {"a.htm"}},
    {"UnterminatedQuoteAlone", "\"", {}},
    {"QuotedThenPlainWithoutBlankAreTwoWords", "\"a.htm\"b.htm", {"a.htm", "b.htm"}},
    {"QuotedThenQuotedAreTwoWords", "\"a\"\"b\"", {"a", "b"}},
    {"QuoteInsidePlainWordStays", "a\"b.htm c", {"a\"b.htm", "c"}},
    {"PlainWordRunsThroughQuotedPart", "a\"b c\"", {"a\"b", "c\""}},
    {"TabDoesNotSeparate", "a.htm\tb.htm", {"a.htm\tb.htm"}},
    {"LeadingTabBelongsToTheWord", "\ta.htm", {"\ta.htm"}},
    {"OtherControlBytesDoNotSeparate", "a\rb\nc", {"a\rb\nc"}},
    {"ShiftJisNamesSplitByteWise", "\x83\x5C.htm \x95\x5C.htm", {"\x83\x5C.htm", "\x95\x5C.htm"}},
    {"TabInsideQuotesStays", "\"a\tb\"", {"a\tb"}},
    // The Windows front end splits its command line as UTF-8 (WTF-8).
    {"Utf8NamesOutsideCp932SplitByteWise",
     "\xED\x95\x9C.htm \"caf\xC3\xA9 \xE2\x99\xA1.htm\"\xF0\x9F\x98\x80.htm \xED\xA0\x80",
     {"\xED\x95\x9C.htm", "caf\xC3\xA9 \xE2\x99\xA1.htm", "\xF0\x9F\x98\x80.htm", "\xED\xA0\x80"}},
};

TEST(SplitCommandLine, Words) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(c.name);
    std::size_t count = 0;
    EXPECT_EQ(Split(c.line, &count), c.words);
    EXPECT_EQ(count, c.words.size());
  }
}

TEST(SplitCommandLine, NullLineHasNoWords) {
  std::size_t count = 1;
  EXPECT_TRUE(Split(nullptr, &count).empty());
  EXPECT_EQ(count, 0u);
}

// No 260-byte limit here: a front end that has one decides what to do.
TEST(SplitCommandLine, LongWordsArePassedWhole) {
  std::string plain(1000, 'p');
  std::string quoted(700, 'q');
  quoted[350] = ' ';
  std::string line = plain + " \"" + quoted + "\"";
  EXPECT_EQ(Split(line.c_str()), (std::vector<std::string>{plain, quoted}));
}

// Words point into the line; nothing is copied or written.
TEST(SplitCommandLine, WordsPointIntoTheLine) {
  static const char line[] = "ab \"cd\"";
  struct Seen {
    const char* first[2];
    int n;
  } seen = {{nullptr, nullptr}, 0};
  SplitCommandLine(
      line,
      [](void* context, const char* word, std::size_t) {
        Seen* s = static_cast<Seen*>(context);
        s->first[s->n++] = word;
      },
      &seen);
  ASSERT_EQ(seen.n, 2);
  EXPECT_EQ(seen.first[0], line);
  EXPECT_EQ(seen.first[1], line + 4);
}

}  // namespace
}  // namespace kelvane
