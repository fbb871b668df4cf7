#include "html/html_to_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/heap.h"
#include "encoding/cp932_form.h"
#include "html/markup_table_build.h"
#include "tests/support/in_block.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

struct Row {
  const char* name;
  std::string input;
  std::string want;
};

// Converts and returns the text; "(null)" stands for a failed conversion.
// Converting in the text's own block must give the same.
std::string Convert(const std::string& input) {
  char* out = HtmlToText(input.c_str(), nullptr);
  const std::string s = out != nullptr ? std::string(out) : "(null)";
  MemFree(out);
  EXPECT_EQ(testing::ConvertInBlock(input).value_or("(null)"), s) << "in its own block";
  return s;
}

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& r : rows) EXPECT_EQ(Convert(r.input), r.want) << r.name;
}

TEST(HtmlToText, FailsOnNullOrEmptyText) {
  long live = testing::LiveBlocks();
  EXPECT_EQ(HtmlToText(nullptr, nullptr), nullptr);
  char* title = nullptr;
  EXPECT_EQ(HtmlToText("", &title), nullptr);
  EXPECT_EQ(title, nullptr);
  EXPECT_EQ(testing::LiveBlocks(), live);
}

TEST(HtmlToText, WhitespaceFolding) {
  ExpectRows({
      {"space touching a tag is lost, text after the last tag too", "<body>Hello <b>world</b>!",
       "Helloworld"},
      {"stretches inside a run become one space", "<body>  a \t b\n\r\nc  <br>", "a b c\n"},
      {"form feed and vertical tab are ordinary", "a \f\v b<br>", "a \f\v b\n"},
      {"ideographic space is ordinary",
       "a\x81\x40"
       "b<br>",
       "a\x81\x40"
       "b\n"},
      {"Shift-JIS passes unharmed", "\x82\xA0\x82\xA2 \x93\xFA<br>", "\x82\xA0\x82\xA2 \x93\xFA\n"},
      {"text without any tag is empty", "just some text, no tag at all", ""},
      {"text after the last tag is dropped", "<br>tail", "\n"},
      {"a < without > ends the scan", "a<br>b<c", "a\nb"},
      {"a > alone is ordinary text", "a>b<br>", "a>b\n"},
      {"only whitespace in a run", "<br>   \n  <br>", "\n\n"},
      {"a long last run with spaces and a reference is dropped",
       "<br>tail words beyond a few machine words &amp; more text after it", "\n"},
      {"a long run ended by < without > is kept", "<br>several words of text, then<x",
       "\nseveral words of text, then"},
      {"control bytes inside long runs are ordinary",
       "a\x01"
       "bcdefghijklmn\x1F"
       "opq rs<br>",
       "a\x01"
       "bcdefghijklmn\x1F"
       "opq rs\n"},
  });
}

TEST(HtmlToText, ParagraphsAndLists) {
  ExpectRows({
      {"unclosed paragraph gives two breaks", "<p>a<p>b</p>", "\na\n\nb\n"},
      {"closed paragraph the same", "<p>a</p><p>b</p>", "\na\n\nb\n"},
      {"end tag clears the open paragraph", "<p>a</p>x<p>b<br>", "\na\nx\nb\n"},
      {"item state carries into the next list", "<ul><li>one<li>two</ul><ul><li>three</ul>",
       "one\ntwo\nthree"},
      {"closed items", "<ol><li>a</li><li>b</li></ol>", "a\nb\n"},
      {"upper case names", "<P>a</P><LI>b</LI>", "\na\nb\n"},
  });
}

TEST(HtmlToText, TablesAndBlocks) {
  ExpectRows({
      {"cells end in tabs, rows in breaks", "<table><tr><td>a</td><td>b</td></tr></table>",
       "\na\tb\t\n"},
      {"th, tbody and caption do nothing", "<tr><th>h</th><tbody><caption>c</tr>", "hc\n"},
      {"div on both sides", "<div>x</div>", "\nx\n"},
      {"blockquote only at its end", "<blockquote>q</blockquote>", "q\n"},
      {"unknown element", "<foo>x</foo><br>", "x\n"},
  });
}

// A tag name ends at the first byte that is not an ASCII letter or digit,
// whatever that byte is and wherever it falls in the name; names are matched
// in any case. Every byte value is tried behind names of one to five bytes.
TEST(HtmlToText, TagNameEndsAtEveryByteThatIsNoLetterOrDigit) {
  struct Known {
    const char* name;
    const char* breaks;  // what the start tag writes before "x"
  };
  const Known names[] = {{"p", "\n"}, {"H1", "\n\n"}, {"h2", "\n"}, {"tAbLe", "\n"}};
  for (const Known& k : names) {
    for (int b = 1; b < 256; ++b) {
      if (b == '<' || b == '>') continue;
      const std::string tag = std::string(k.name) + static_cast<char>(b);
      const bool name_goes_on =
          (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
      const std::string want = std::string(name_goes_on ? "" : k.breaks) + "x\n";
      ASSERT_EQ(Convert("<" + tag + ">x<br>"), want) << k.name << " followed by byte " << b;
      // The same name at the end of the text, where no whole word follows it.
      ASSERT_EQ(Convert("<" + tag + ">x<br"), name_goes_on ? "x" : std::string(k.breaks) + "x")
          << k.name << " near the end, followed by byte " << b;
    }
  }
}

TEST(HtmlToText, Headings) {
  ExpectRows({
      {"h1 two breaks before, h2 one", "<h1>A</h1><h2>B</h2>", "\n\nA\n\nB\n"},
      {"h6", "<h6>x</h6>", "\nx\n"},
      {"h7 is no element", "<h7>x</h7>", "x"},
  });
}

TEST(HtmlToText, LineBreaksAndRules) {
  ExpectRows({
      {"end tag of br does nothing", "E</br>F<br>", "EF\n"},
      {"br start tags", "E<br>F<br>", "E\nF\n"},
      {"lower case br with slash", "<br/>x<br />", "\nx\n"},
      {"hr", "a<HR>b<hr>", "a\nb\n"},
      {"space after < gives an empty name", "x< br>y<br>", "xy\n"},
      {"name with a digit is another name", "a<br2>b<br>", "ab\n"},
      {"declaration and processing instruction", "<!DOCTYPE html><?xml x?>a<br>", "a\n"},
  });
}

TEST(HtmlToText, Preformatted) {
  ExpectRows({
      {"spaces kept, first line break dropped", "<pre>\n  x  y\n</pre>", "  x  y\n"},
      {"line break at the head of every run", "<pre>a<b>\nb</b></pre>", "ab"},
      {"CRLF at the head is one break", "<pre>\r\nx</pre>", "x"},
      {"only one LF is dropped", "<pre>\n\nx</pre>", "\nx"},
      {"CR CR keeps the second", "<pre>\r\rx</pre>", "\rx"},
      {"LF CR keeps the CR", "<pre>\n\rx</pre>", "\rx"},
      {"leading space is kept", "<pre> a <b> c </b></pre>", " a  c "},
      {"folding resumes after the end tag", "<pre>a\tb</pre> x  y <br>", "a\tbx y\n"},
      {"references resolve inside", "<pre>&amp; x</pre>", "& x"},
      {"end tag of an unknown element keeps it on", "<pre>a</x> b</pre>", "a b"},
  });
}

TEST(HtmlToText, ImageAlternativeText) {
  ExpectRows({
      {"quoted", "<img alt=\"Logo\">", "[Logo]"},
      {"unquoted, more attributes", "<img alt=Logo width=3>", "[Logo]"},
      {"unquoted up to >", "<img alt=Logo>", "[Logo]"},
      {"no alt", "<img src=x>", ""},
      {"empty quoted value", "<img alt=\"\">", "[]"},
      {"alt= right before >", "<img alt=>", "[]"},
      {"no closing quote before >", "<img alt=\"Logo>", ""},
      {"closing quote only after >", "<img alt=\"a>b\"><br>", "b\">\n"},
      {"attribute name in any case", "<IMG ALT=\"Up\">", "[Up]"},
      {"single quote is an ordinary byte", "<img alt='a b'>", "['a]"},
      {"tab does not end the value", "<img alt=a\tb>", "[a\tb]"},
      {"value kept raw", "<img alt=\"x &amp;  y\">", "[x &amp;  y]"},
      {"alt of a later tag is not used", "<img src=a><b alt=\"no\">", ""},
      {"end tag gives nothing", "</img alt=\"x\">", ""},
      {"other element name", "<imgs alt=x>", ""},
      {"space before = is no alt=", "<img alt =x alt=y>", "[y]"},
      {"first alt= counts", "<img xalt=a alt=b>", "[a]"},
      {"comment inside the value vanishes", "<img alt=\"a<!--x-->b\">", "[ab]"},
      {"two images", "<img alt=a><img alt=b>", "[a][b]"},
      {"text around", "x<img alt=\"i\">y<br>", "x[i]y\n"},
  });
}

TEST(HtmlToText, NamedReferences) {
  ExpectRows({
      {"amp", "&amp;<br>", "&\n"},
      {"lt gt", "&lt;&gt;<br>", "<>\n"},
      {"quot", "&quot;<br>", "\"\n"},
      {"copy reg trade", "&copy;&reg;&trade;<br>", "(C)(R)(TM)\n"},
      {"fractions", "&frac14;&frac12;&frac34;<br>", "1/41/23/4\n"},
      {"circ tilde", "&circ;&tilde;<br>", "^~\n"},
      {"narrow spaces", "a&nbsp;&ensp;&thinsp;b<br>", "a   b\n"},
      {"em space", "&emsp;<br>", "\x81\x40\n"},
      {"dashes and minus", "&ndash;&mdash;&minus;<br>", "-\x81\x5C-\n"},
      {"bullet, fraction slash", "&bull;&frasl;<br>", "\xA5/\n"},
      {"sum", "&sum;<br>", "\x87\x94\n"},
      {"cp932 form", "&Alpha;&hellip;<br>", "\x83\x9F\x81\x63\n"},
      {"near form, and no form gives ?", "&yen;&euro;&hearts;<br>", "\\??\n"},
      {"capital AMP stays text", "&AMP;<br>", "&AMP;\n"},
      {"unknown name stays text", "&bogus;x<br>", "&bogus;x\n"},
      {"empty name", "&;<br>", "&;\n"},
      {"no ; anywhere", "a & b<br>", "a & b\n"},
      {"space before and after", "a &amp; b<br>", "a & b\n"},
      {"name runs into a tag", "x&amp<b>;y<br>", "x&amp;y\n"},
  });
}

TEST(HtmlToText, NumericReferences) {
  ExpectRows({
      {"decimal, x and X", "&#65;&#x42;&#X43;<br>", "ABC\n"},
      {"lower case hex digits", "&#x4a;<br>", "J\n"},
      {"0 rejected", "&#0;<br>", "&#0;\n"},
      {"65536 rejected", "&#65536;<br>", "&#65536;\n"},
      {"65535 has no cp932 form", "&#65535;<br>", "?\n"},
      {"wraps around 2^32", "&#4294967361;<br>", "A\n"},
      {"hiragana", "&#12354;<br>", "\x82\xA0\n"},
      {"halfwidth katakana", "&#xFF65;<br>", "\xA5\n"},
      {"U+0080 is a single byte", "&#128;<br>", "\x80\n"},
      {"no digits", "&#;&#x;<br>", "&#;&#x;\n"},
      {"non-digits skipped", "a&#6 6;b<br>", "aBb\n"},
      {"a letter ends decimal digits", "&#66z7;<br>", "B\n"},
      {"g ends hex digits", "&#x41g1;<br>", "A\n"},
      {"reference is no whitespace", "a&#32;&#32;b<br>", "a  b\n"},
      {"LF by reference", "a&#10;b<br>", "a\nb\n"},
      {"; after a tag: tag acted on, scan after it", "&#65<b>6;<br>", "A6;\n"},
      {"; after a br", "&#65<br>;x<br>", "A\n;x\n"},
      {"; after several tags", "&#66<i>z</i>;<br>", "Bz;\n"},
      {"; inside a tag", "&#67<b;>x<br>", "Cx\n"},
      {"; beyond a < with no >: run converted, scan ends", "&#67<b;", "C"},
      {"rejected reference converted as text", "&#x;z<br>", "&#x;z\n"},
  });
}

TEST(HtmlToText, Comments) {
  ExpectRows({
      {"texts join", "a<!-- x -->b<br>", "ab\n"},
      {"shortest comment", "<!---->a<br>", "a\n"},
      {"dashes of opener and closer do not overlap", "<!-->a-->b<br>", "b\n"},
      {"three dashes", "<!--->x-->y<br>", "y\n"},
      {"unterminated drops the rest, body tag included", "x<br><!-- <body>y<br>", "x\n"},
      {"unterminated after the body", "<body>a<br><!-- b<br>", "a\n"},
      {"comment hides a tag", "a<!--<br>-->b<br>", "ab\n"},
      {"several", "<!--1-->a<!--2-->b<!--3--><br>", "ab\n"},
      {"in the head", "<!--<body>--><body>\nx<br>", "x\n"},
  });
}

TEST(HtmlToText, BodyLocation) {
  ExpectRows({
      {"head skipped", "<html><head><title>T</title></head><body>\nHi<br></body>", "Hi\n"},
      {"no body: head converted", "<title>T</title>Hello<br>", "THello\n"},
      {"body with attributes, any case", "x<BODY bgcolor=\"w\">a<br>", "a\n"},
      {"any name starting with body", "z<bodyx>a<br>", "a\n"},
      {"end of body plays no part", "<body>x</body>Footer</html>", "xFooter"},
      {"body end tag alone", "</body>Footer</html>", "Footer"},
      {"line breaks at the start skipped", "<body>\r\n\n<pre>x</pre>", "x"},
      {"body without > fails", "<p>x<body", "(null)"},
      {"> only before it does not help", "<p>x</p><body bgcolor=x", "(null)"},
      {"only the first body counts", "<body>a<br><body>b<br>", "a\nb\n"},
  });
}

struct TitleRow {
  const char* name;
  std::string input;
  std::string want_title;
};

TEST(HtmlToText, TitleIsRawText) {
  const TitleRow rows[] = {
      {"reference unresolved", "<title>&amp;</title><br>", "&amp;"},
      {"none", "<body>x<br>", ""},
      {"any case, attributes", "<TITLE id=1>T  x</Title>", "T  x"},
      {"empty", "<title></title>", ""},
      {"first only", "<title>A</title><title>B</title>", "A"},
      {"no end tag", "<title>A<br>", ""},
      {"no > after <title", "<title", ""},
      {"longer name still matches", "<titlex>A</title>", "A"},
      {"tags kept", "<title>a<b>c</b></title>", "a<b>c</b>"},
      {"comment removed", "<title>x<!--c-->y</title>", "xy"},
  };
  for (const TitleRow& r : rows) {
    char* title = nullptr;
    char* out = HtmlToText(r.input.c_str(), &title);
    ASSERT_NE(out, nullptr) << r.name;
    ASSERT_NE(title, nullptr) << r.name;
    EXPECT_EQ(std::string(title), r.want_title) << r.name;
    MemFree(title);
    MemFree(out);
  }
}

TEST(HtmlToText, NoTitleStoredOnFailure) {
  char* title = reinterpret_cast<char*>(&title);  // any value that must survive
  char* const before = title;
  long live = testing::LiveBlocks();
  EXPECT_EQ(HtmlToText("<title>T</title><body", &title), nullptr);
  EXPECT_EQ(title, before);
  EXPECT_EQ(testing::LiveBlocks(), live);
}

TEST(HtmlToText, OutputGrowsPastTheFirstBlock) {
  std::string in = "<body>";
  std::string want;
  for (int i = 0; i < 3000; ++i) {
    in += "word&amp;<br>";
    want += "word&\n";
  }
  EXPECT_EQ(Convert(in), want);
}

TEST(TagNameLength, CountsLettersAndDigits) {
  EXPECT_EQ(TagNameLength(nullptr), 0);
  EXPECT_EQ(TagNameLength(""), 0);
  EXPECT_EQ(TagNameLength(" br"), 0);
  EXPECT_EQ(TagNameLength("br/>"), 2);
  EXPECT_EQ(TagNameLength("H1 class"), 2);
  EXPECT_EQ(TagNameLength("zZ09x-y"), 5);
  EXPECT_EQ(TagNameLength("ab\x82\xA0"), 2);
}

TEST(ParseNumber, Rules) {
  struct NumberRow {
    const char* name;
    const char* s;
    int32_t length;
    int base;
    uint32_t want;
  };
  const NumberRow rows[] = {
      {"decimal", "65", 2, 10, 65},
      {"hex both cases", "fF", 2, 16, 255},
      {"only length bytes", "1234", 2, 10, 12},
      {"negative length to NUL", "1234", -1, 10, 1234},
      {"null", nullptr, 3, 10, 0},
      {"length 0", "12", 0, 10, 0},
      {"empty string", "", -1, 10, 0},
      {"base 1", "1", 1, 1, 0},
      {"base 37", "1", 1, 37, 0},
      {"base 36", "zz", 2, 36, 35 * 36 + 35},
      {"base 2 stops at 2", "1012", 4, 2, 5},
      {"punctuation skipped", "1,0 0", 5, 10, 100},
      {"high bytes skipped",
       "1\x82\xA0"
       "2",
       4, 10, 12},
      {"letter ends decimal", "12a3", 4, 10, 12},
      {"wraps modulo 2^32", "4294967361", -1, 10, 65},
      {"hex wraps", "1000000041", -1, 16, 0x41},
  };
  for (const NumberRow& r : rows) EXPECT_EQ(ParseNumber(r.s, r.length, r.base), r.want) << r.name;
}

TEST(CodePointToShiftJis, FormsAndQuestionMark) {
  struct CodeRow {
    uint32_t code_point;
    std::string want;
  };
  const CodeRow rows[] = {
      {0x3042, "\x82\xA0"}, {0x3000, "\x81\x40"}, {0xFF61, "\xA1"}, {0x2252, "\x81\xE0"},
      {0x2160, "\x87\x54"}, {0x2170, "\xFA\x40"}, {0x00A5, "\x5C"}, {0x2014, "\x81\x5C"},
      {0xD800, "?"},        {0x10000, "?"},       {0, "?"},         {0x41, "A"},
      {0x2122, "(TM)"},     {0x2661, "?"},
  };
  for (const CodeRow& r : rows) EXPECT_EQ(std::string(CodePointToShiftJis(r.code_point)), r.want);
}

// A document that takes every path; the output passes 1024 bytes.
std::string RichDocument() {
  std::string doc =
      "<html><head><title>T &amp; x</title><!-- c --></head><body>\n<h1>Head</h1>"
      "<p>a &lt; b &#65;&#x42; &copy;<img alt=\"pic\"><pre>\n x  y</pre>"
      "<table><tr><td>1</td></tr></table><ul><li>i<li>j</ul>";
  for (int i = 0; i < 60; ++i) doc += "<p>paragraph text &mdash; more text</p>";
  return doc + "<br>";
}

// Every allocation of a conversion is failed in turn, with the tables forgotten
// first so their builds fail as well: each run gives the full output or null,
// and leaks nothing.
TEST(HtmlToText, EveryFailedAllocationGivesNullOrTheFullOutput) {
  const std::string doc = RichDocument();
  ClearMarkupTables();
  char* title = nullptr;
  char* full = HtmlToText(doc.c_str(), &title);
  ASSERT_NE(full, nullptr);
  const std::string want(full), want_title(title);
  MemFree(full);
  MemFree(title);
  ASSERT_GT(want.size(), 1024u);
  int nulls = 0;
  for (long n = 1;; ++n) {
    ClearMarkupTables();
    long live = testing::LiveBlocks();
    title = nullptr;
    testing::FailNthAllocation(n);
    char* out = HtmlToText(doc.c_str(), &title);
    bool injected = testing::InjectedFailureHappened();
    testing::ResetHeapFaults();
    if (out == nullptr) {
      ++nulls;
      EXPECT_EQ(title, nullptr) << n;
    } else {
      EXPECT_EQ(std::string(out), want) << n;
      EXPECT_EQ(std::string(title), want_title) << n;
      MemFree(out);
      MemFree(title);
    }
    ClearMarkupTables();
    EXPECT_EQ(testing::LiveBlocks(), live) << n;
    if (!injected) break;
  }
  EXPECT_GT(nulls, 1000);  // both table builds are in the walk
}

// A text as read is refused when it holds a CR or a NUL anywhere, comments
// included, and else converted as ever: random texts of markup bytes, some
// long enough for the block copies.
TEST(HtmlToText, TextAsReadIsRefusedForACrOrANul) {
  const std::string nul(1, '\0');
  const std::string pieces[] = {"<!--",
                                "-->",
                                "<p>",
                                "<body>",
                                "a",
                                "\x82\xA0",
                                " ",
                                "\n",
                                "\r",
                                nul,
                                "xxxxxxxxxxxxxxxxxxxxxxx"};
  std::mt19937 rng(5);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = "<body>";
    for (int n = rng() % 24; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    TextProgress progress;
    progress.as_read = true;
    uint32_t length = 0;
    char* out = HtmlToTextShowingProgress(text.c_str(), text.size(), &length, &progress);
    if (text.find('\r') != std::string::npos || text.find(nul) != std::string::npos) {
      EXPECT_EQ(out, nullptr) << text;
      EXPECT_EQ(progress.outcome.load(), TextProgress::kTextRefusedAsRead) << text;
      EXPECT_EQ(progress.block.load(), nullptr) << text;
      ++refused;
    } else {
      EXPECT_EQ(out != nullptr ? std::string(out, length) : "(null)", Convert(text)) << text;
    }
    MemFree(out);
  }
  EXPECT_GT(refused, 1000);
  EXPECT_LT(refused, 2500);
}

TEST(HtmlToText, CallAfterALostTableNameGivesTheFullOutput) {
  const std::string doc = "<p>a&amp;b</p>";
  ClearMarkupTables();
  {
    testing::ScopedHeapFaults faults;
    testing::FailNthAllocation(20);  // inside the element table's build
    EXPECT_EQ(HtmlToText(doc.c_str(), nullptr), nullptr);
    EXPECT_TRUE(testing::InjectedFailureHappened());
  }
  EXPECT_EQ(Convert(doc), "\na&b\n");
  EXPECT_EQ(MarkupTablesComplete(), 1);
}

}  // namespace
}  // namespace kelvane
