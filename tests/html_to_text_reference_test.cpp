// The converter against a slow, literal reading of its rules on random
// documents. The reference searches afresh every time (quadratic at worst),
// so the converter's remembered searches cannot change a result unseen.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "common/heap.h"
#include "encoding/cp932_form.h"
#include "html/html_to_text.h"
#include "html/markup_tables.h"
#include "tests/support/in_block.h"

namespace kelvane {
namespace {

using std::string;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// First i >= from where s continues with pattern, ASCII letters in any case.
size_t FindFolded(const string& s, const string& pattern, size_t from) {
  for (size_t i = from; i + pattern.size() <= s.size(); ++i) {
    size_t k = 0;
    while (k < pattern.size() && Lower(s[i + k]) == pattern[k]) ++k;
    if (k == pattern.size()) return i;
  }
  return string::npos;
}

string Replacement(uint32_t v) {
  switch (v) {
    case 160:
    case 8194:
    case 8201:
      return " ";
    case 169:
      return "(C)";
    case 174:
      return "(R)";
    case 188:
      return "1/4";
    case 189:
      return "1/2";
    case 190:
      return "3/4";
    case 710:
      return "^";
    case 732:
      return "~";
    case 8195:
      return "\x81\x40";
    case 8211:
    case 8722:
      return "-";
    case 8212:
      return "\x81\x5C";
    case 8226:
      return "\xA5";
    case 8260:
      return "/";
    case 8482:
      return "(TM)";
    case 8721:
      return "\x87\x94";
    default:
      break;
  }
  if (v < 128) return string(1, static_cast<char>(v));
  return CodePointToShiftJis(v);
}

struct Flags {
  bool pre = false, para = false, item = false;
};

// Converts the run [i, end) of s and appends to out.
void SlowRun(const string& s, size_t i, size_t end, const Flags& f, string* out) {
  const size_t run = i;
  bool pending = false, at_start = true;
  while (i < end) {
    char c = s[i];
    if (IsSpace(c) && !f.pre) {
      pending = true;
      ++i;
      continue;
    }
    if (IsSpace(c)) {
      bool head = i == run && (c == '\r' || c == '\n');
      bool after_cr = i == run + 1 && c == '\n' && s[run] == '\r';
      if (!head && !after_cr) *out += c;
      ++i;
      continue;
    }
    if (pending && !at_start) *out += ' ';
    pending = at_start = false;
    if (c != '&') {
      *out += c;
      ++i;
      continue;
    }
    size_t semi = s.find(';', i + 1);
    uint32_t v = 0;
    if (semi != string::npos) {
      if (s[i + 1] == '#' && (s[i + 2] == 'x' || s[i + 2] == 'X')) {
        v = ParseNumber(s.c_str() + i + 3, static_cast<int32_t>(semi - i - 3), 16);
      } else if (s[i + 1] == '#') {
        v = ParseNumber(s.c_str() + i + 2, static_cast<int32_t>(semi - i - 2), 10);
      } else {
        v = static_cast<uint32_t>(LookupEntity(s.c_str() + i + 1, static_cast<int>(semi - i - 1)));
      }
    }
    if (v == 0 || v > 65535) {
      *out += '&';
      ++i;
    } else {
      *out += Replacement(v);
      i = semi + 1;
    }
  }
}

void Bracket(const string& s, size_t from, size_t to, string* out) {
  out->push_back('[');
  out->append(s, from, to - from);
  out->push_back(']');
}

void SlowTag(const string& s, size_t lt, size_t gt, Flags* f, string* out) {
  bool end_tag = s[lt + 1] == '/';
  const char* name = s.c_str() + lt + (end_tag ? 2 : 1);
  int id = LookupElement(name, TagNameLength(name));
  if (end_tag) {
    if (id == 11 || id == 26 || (id >= 35 && id <= 40) || id == 87) *out += '\n';
    if (id == 64) *out += '\n', f->para = false;
    if (id == 53) *out += '\n', f->item = false;
    if (id == 66) f->pre = false;
    if (id == 81) *out += '\t';
    return;
  }
  if (id == 35) *out += "\n\n";
  if ((id >= 36 && id <= 40) || id == 26 || id == 79 || id == 0x100E || id == 0x1029) *out += '\n';
  if (id == 64) {
    *out += f->para ? "\n\n" : "\n";
    f->para = true;
  }
  if (id == 53) {
    if (f->item) *out += '\n';
    f->item = true;
  }
  if (id == 66) f->pre = true;
  if (id != 0x102E) return;
  size_t a = FindFolded(s, "alt=", lt + 1);
  if (a == string::npos || a >= gt) return;
  size_t v = a + 4;
  if (s[v] == '"') {
    size_t q = s.find('"', v + 1);
    if (q == string::npos || q >= gt) return;
    Bracket(s, v + 1, q, out);
  } else {
    size_t e = s.find_first_of(" >", v);
    Bracket(s, v, e, out);
  }
}

std::optional<string> SlowHtmlToText(const string& text, string* title) {
  if (text.empty()) return std::nullopt;
  string s;
  for (size_t p = 0;;) {
    size_t open = text.find("<!--", p);
    if (open == string::npos) {
      s += text.substr(p);
      break;
    }
    s += text.substr(p, open - p);
    size_t close = text.find("-->", open + 4);
    if (close == string::npos) break;
    p = close + 3;
  }
  title->clear();
  size_t t = FindFolded(s, "<title", 0);
  size_t tgt = t == string::npos ? t : s.find('>', t + 6);
  size_t tend = tgt == string::npos ? tgt : FindFolded(s, "</title>", tgt + 1);
  if (tend != string::npos) *title = s.substr(tgt + 1, tend - tgt - 1);
  size_t pos = 0;
  size_t b = FindFolded(s, "<body", 0);
  if (b != string::npos) {
    size_t gt = s.find('>', b + 5);
    if (gt == string::npos) return std::nullopt;
    pos = gt + 1;
  }
  while (pos < s.size() && (s[pos] == '\r' || s[pos] == '\n')) ++pos;
  string out;
  Flags f;
  for (;;) {
    size_t lt = s.find('<', pos);
    if (lt == string::npos) break;
    SlowRun(s, pos, lt, f, &out);
    size_t gt = s.find('>', lt + 1);
    if (gt == string::npos) break;
    pos = gt + 1;
    SlowTag(s, lt, gt, &f, &out);
  }
  return out;
}

// Pieces that meet each other's rules often: tags, references, digits,
// alt=, quotes, comments and whitespace; and runs long enough to be scanned
// and copied a word at a time, Japanese (whose trail bytes include letters
// and "@"), capitals and digits.
const char* const kPieces[] = {
    "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67\x81\x40\x82\xA0",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
    "0123456789abcdef",
    "<",
    ">",
    "&",
    ";",
    "#",
    "x",
    "X",
    "alt=",
    "ALT=",
    "img",
    "p",
    "/",
    "\"",
    " ",
    "  ",
    "\n",
    "\r",
    "\t",
    "a",
    "b",
    "z",
    "1",
    "6",
    "5",
    "0",
    "F",
    "amp",
    "lt",
    "copy",
    "mdash",
    "pre",
    "li",
    "br",
    "td",
    "h1",
    "body",
    "title",
    "<!--",
    "-->",
    "-",
    "\x82\xA0",
    "=",
    "'",
    "<pre>",
    "</pre>",
    "<p>",
    "</p>",
    "<img ",
    "<br>",
    "<li>",
    "</td>",
    "\r\n",
    "&#",
    "&#x"};

string RandomDocument(std::mt19937* rng, int pieces) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  string s;
  for (int i = 0; i < pieces; ++i) s += kPieces[pick(*rng)];
  return s;
}

TEST(HtmlToTextReference, RandomDocumentsConvertAsTheLiteralRulesSay) {
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> length(1, 120);
  int compared = 0, with_output = 0;
  for (int iteration = 0; iteration < 30000; ++iteration) {
    string doc = RandomDocument(&rng, length(rng));
    string want_title;
    std::optional<string> want = SlowHtmlToText(doc, &want_title);
    char* title = nullptr;
    char* got = HtmlToText(doc.c_str(), &title);
    ASSERT_EQ(got != nullptr, want.has_value()) << doc;
    EXPECT_EQ(testing::ConvertInBlock(doc), want) << "in its own block: " << doc;
    if (got == nullptr) continue;
    EXPECT_EQ(string(got), *want) << doc;
    EXPECT_EQ(string(title), want_title) << doc;
    ++compared;
    with_output += !want->empty();
    MemFree(got);
    MemFree(title);
    if (::testing::Test::HasFailure()) break;
  }
  // The generator must reach both outcomes and real output often.
  EXPECT_GT(compared, 10000);
  EXPECT_GT(with_output, 10000);
}

// Long stretches that the remembered searches skip over: many "&" sharing
// one far ";", digits running to it, images whose "alt=" comes much later.
TEST(HtmlToTextReference, SharedFarSearchesMatchTheLiteralRules) {
  const string docs[] = {
      string(2000, '&') + "<b>;amp;<br>",
      [] {
        string s;
        for (int i = 0; i < 500; ++i) s += "&#1";
        return s + "<b>;<br>";
      }(),
      [] {
        string s;
        for (int i = 0; i < 500; ++i) s += "&#x1&#6";
        return s + ";<br>";
      }(),
      [] {
        string s;
        for (int i = 0; i < 500; ++i) s += "&#429496736";
        return s + "1;<br>";
      }(),
      [] {
        string s;
        for (int i = 0; i < 500; ++i) s += "<img src=a>";
        return s + "alt=x>";
      }(),
      // The output is written over the text it is read from: numbers whose
      // digits run on past long stretches that have been copied meanwhile.
      [] {
        string s = "&#99999999";
        for (int i = 0; i < 300; ++i) s += "\x82\xA0";
        return s + "&#65&#6" + string(100, ' ') + "6;<br>";
      }(),
      [] {
        string s = "<p>&#x99999";
        for (int i = 0; i < 200; ++i) s += " 1 \x82\xA0&#x";
        return s + "41;<br>";
      }(),
      [] {
        string s = "<pre>&#99999";
        for (int i = 0; i < 100; ++i) s += "\x82\xA0";
        return s + "&#65;</pre><br>";
      }(),
      // References whose digits run into the tag that ends the run, at the
      // very start, where the output is closest behind the scan.
      "&#<8482>;&#<169>;&#x<bdo>;&#x<br>;&#x</div>;&#<174><p>;<br>",
      "&#x<bdo>&#x<bdo>&#x<bdo>;<br>",
      [] {
        string s;
        for (int i = 0; i < 500; ++i) s += "<img alt=\"a>";
        return s + "\"<br>";
      }(),
  };
  for (const string& doc : docs) {
    string want_title;
    std::optional<string> want = SlowHtmlToText(doc, &want_title);
    ASSERT_TRUE(want.has_value());
    char* got = HtmlToText(doc.c_str(), nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(testing::ConvertInBlock(doc), want) << "in its own block: " << doc.substr(0, 40);
    EXPECT_EQ(string(got), *want) << doc.substr(0, 40);
    MemFree(got);
  }
}

}  // namespace
}  // namespace kelvane
