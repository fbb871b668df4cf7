// Decoding in two parts against decoding the whole, with the real decoders:
// the same text, length and answer, or a refusal that leaves the block as it
// was, in every encoding that is cut, whether the jobs run in order or on two
// threads.
#include "app/decode_in_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/convert_file.h"
#include "common/heap.h"
#include "encoding/encoding_id.h"
#include "tests/app/job_runners.h"

namespace kelvane {
namespace {

using testing::RunInOrder;
using testing::RunOnTwoThreads;

// 日本語 in each encoding, which Shift-JIS holds as 93FA 967B 8CEA.
struct Encoding {
  int id;
  const char* name;
  std::string kanji;
  std::string bad;  // a character that fails the text
};

const Encoding kEncodings[] = {
    {kUtf8, "utf-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xFF"},
    {kEucJp, "euc-jp", "\xC6\xFC\xCB\xDC\xB8\xEC", "\x8F\xA1\xA1"},
    {kIso2022Jp, "iso-2022-jp", "\x1B$BF|K\\8l\x1B(B", "\x1B$Z"},
    {kUtf16Le, "utf-16le", std::string("\xE5\x65\x2C\x67\x9E\x8A", 6), std::string("\x00\xD8", 2)},
    {kUtf16Be, "utf-16be", std::string("\x65\xE5\x67\x2C\x8A\x9E", 6), std::string("\xD8\x00", 2)},
};

// ASCII in the encoding's code units.
std::string Ascii(const Encoding& e, const std::string& text) {
  if (e.id != kUtf16Le && e.id != kUtf16Be) return text;
  std::string units;
  for (char c : text) units += e.id == kUtf16Le ? std::string{c, '\0'} : std::string{'\0', c};
  return units;
}

// Lines of markup and Japanese text, with LF or CR LF line ends.
std::string Page(const Encoding& e, const std::string& line_end) {
  std::string page = Ascii(e, "<html><body>" + line_end);
  for (int i = 0; i < 400; ++i) {
    page += Ascii(e, "<p>" + std::to_string(i) + " ") + e.kanji + Ascii(e, "</p>" + line_end);
  }
  return page + Ascii(e, "</body></html>" + line_end);
}

// Puts bytes in after the first line end from a share of the text on.
std::string Inserted(const Encoding& e, std::string page, double share, const std::string& bytes) {
  const std::string lf = Ascii(e, "\n");
  std::size_t at = page.find(lf, static_cast<std::size_t>(page.size() * share));
  while (at % lf.size() != 0) at = page.find(lf, at + 1);
  return page.insert(at + lf.size(), bytes);
}

struct Decoded {
  int status;
  std::string text;
  uint32_t length;
};

Decoded DecodeWhole(const std::string& page, int encoding) {
  const std::string block = page + std::string(3, '\0');
  char* text = nullptr;
  uint32_t length = 0;
  Decoded got{DecodeToShiftJis(&text, block.data(), encoding, &length), "", 0};
  if (got.status != -1) got = {got.status, text, length};
  MemFree(text);
  return got;
}

TEST(DecodeInParts, GivesWhatDecodingTheWholeGives) {
  for (const Encoding& e : kEncodings) {
    const std::string nul = Ascii(e, std::string(1, '\0'));
    struct Row {
      const char* name;
      std::string page;
      bool cut;  // whether the page has a place to cut it
    };
    const Row rows[] = {
        {"lf", Page(e, "\n"), true},
        {"crlf", Page(e, "\r\n"), true},
        {"cr", Page(e, "\r"), false},
        {"bad in front", Inserted(e, Page(e, "\n"), 0.25, e.bad), true},
        {"bad behind", Inserted(e, Page(e, "\n"), 0.75, e.bad), true},
        {"NUL in front, bad behind",
         Inserted(e, Inserted(e, Page(e, "\n"), 0.75, e.bad), 0.25, nul), true},
        {"NUL behind", Inserted(e, Page(e, "\n"), 0.75, nul), true},
    };
    for (const Row& row : rows) {
      for (RunBoth run_both : {&RunInOrder, &RunOnTwoThreads}) {
        SCOPED_TRACE(std::string(e.name) + " " + row.name +
                     (run_both == &RunInOrder ? " in order" : " on two threads"));
        const Decoded whole = DecodeWhole(row.page, e.id);
        std::string block = row.page + std::string(3, '\0');
        char* text = nullptr;
        uint32_t length = 0;
        int status = -1;
        const int done =
            DecodeInParts(run_both, &text, block.data(), static_cast<uint32_t>(row.page.size()),
                          e.id, &length, &status);
        // Where there is a cut, only a failing part declines.
        EXPECT_EQ(done, row.cut && whole.status != -1 ? 1 : 0);
        if (done == 1) {
          EXPECT_EQ(status, whole.status);
          EXPECT_EQ(length, whole.length);
          EXPECT_EQ(std::string(text, length + 1), whole.text + std::string(1, '\0'));
        } else {
          EXPECT_EQ(block, row.page + std::string(3, '\0')) << "a refusal changes the block";
        }
        MemFree(text);
      }
    }
  }
}

}  // namespace
}  // namespace kelvane
