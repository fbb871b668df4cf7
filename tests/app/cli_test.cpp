// The kelvane program end to end: run as a child process on real files in a
// temporary folder, checking exit status, the lines on stderr (UTF-8) and the
// bytes of the files it writes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/kelvane_runner.h"
#include "tests/app/posix_files.h"

namespace kelvane {
namespace {

using testing::Exists;
using testing::kPageText;
using testing::kPageUtf8;
using testing::ListFolder;
using testing::Outcome;
using testing::ReadFile;
using testing::RunKelvane;
using testing::RunKelvaneUnprivileged;
using testing::TempFolder;
using testing::WriteFile;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

  // Runs kelvane on the given arguments.
  Outcome Kelvane(const std::vector<std::string>& files, const std::string* input = nullptr) {
    return RunKelvane(files, scratch_, input);
  }

  // Runs kelvane as the user nobody; false when that is not possible here.
  bool KelvaneUnprivileged(const std::vector<std::string>& files, Outcome* run) {
    return RunKelvaneUnprivileged(files, scratch_, run);
  }

  TempFolder folder_;   // where the test's files live
  TempFolder scratch_;  // captured output of the child
};

TEST_F(CliTest, NoFileGivesUsageAndStatusTwo) {
  Outcome run = Kelvane({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("usage: kelvane FILE...\n", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
}

// Runs kelvane with folder as the working directory, so words may be bare
// names such as -x.html.
Outcome KelvaneIn(const std::string& folder, const std::vector<std::string>& words,
                  const std::string* input, const TempFolder& scratch) {
  char* previous = getcwd(nullptr, 0);
  if (previous == nullptr || chdir(folder.c_str()) != 0) {
    free(previous);
    return Outcome{};
  }
  Outcome run = RunKelvane(words, scratch, input);
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
  return run;
}

constexpr char kUsageStart[] = "usage: kelvane FILE...\n";
// A heart has neither a cp932 code nor a near form.
constexpr char kNoFormUtf8[] = "\xEF\xBB\xBF<body><p>I \xE2\x99\xA1 Tokyo</p>";

// Options and "-". Each case runs in a fresh folder that holds page.html and
// -x.html, both kPageUtf8.
struct WordsCase {
  const char* name;
  std::vector<std::string> words;
  const char* input;  // standard input; null: none given
  int status;
  std::string out;
  std::string err;  // followed by the usage when then_usage
  bool then_usage;
  std::vector<std::string> converted;  // the .txt files written
};

const WordsCase kWords[] = {
    {"Version", {"--version"}, nullptr, 0, "kelvane " KELVANE_VERSION "\n", "", false, {}},
    {"VersionConvertsNothing",
     {"page.html", "--version"},
     nullptr,
     0,
     "kelvane " KELVANE_VERSION "\n",
     "",
     false,
     {}},
    {"UnknownOption",
     {"-x", "page.html"},
     nullptr,
     2,
     "",
     "kelvane: unknown option: -x\n",
     true,
     {}},
    {"UnknownOptionAfterAFile",
     {"page.html", "--verbose", "--help"},
     nullptr,
     2,
     "",
     "kelvane: unknown option: --verbose\n",
     true,
     {}},
    {"ShortHelpIsUnknown", {"-h"}, nullptr, 2, "", "kelvane: unknown option: -h\n", true, {}},
    {"OnlyTheEndOfOptions", {"--"}, nullptr, 2, "", "", true, {}},
    {"EndOfOptionsThenADashName", {"--", "-x.html"}, nullptr, 0, "", "", false, {"-x.txt"}},
    {"EndOfOptionsMakesOptionsFiles",
     {"--", "--help", "--"},
     nullptr,
     1,
     "",
     "kelvane: HTMLファイルではありません：--help\nkelvane: HTMLファイルではありません：--\n",
     false,
     {}},
    {"StandardInput", {"-"}, kPageUtf8, 0, kPageText, "", false, {}},
    {"StandardInputAmongFiles",
     {"page.html", "-", "./-x.html"},
     kPageUtf8,
     0,
     kPageText,
     "",
     false,
     {"-x.txt", "page.txt"}},
    {"StandardInputAfterTheEndOfOptions", {"--", "-"}, kPageUtf8, 0, kPageText, "", false, {}},
    {"StandardInputThatFailsWritesNothing",
     {"-", "page.html"},
     kNoFormUtf8,
     1,
     "",
     "kelvane: 文字コードの変換に失敗しました：-\n",
     false,
     {"page.txt"}},
    {"EmptyStandardInput", {"-"}, "", 1, "", "kelvane: 無効なファイルサイズです：-\n", false, {}},
    {"StandardInputTwice",
     {"-", "page.html", "-"},
     kPageUtf8,
     2,
     "",
     "kelvane: standard input (-) given more than once\n",
     true,
     {}},
};

TEST_F(CliTest, OptionsAndStandardInput) {
  for (const WordsCase& c : kWords) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    ASSERT_TRUE(WriteFile(folder / "page.html", kPageUtf8));
    ASSERT_TRUE(WriteFile(folder / "-x.html", kPageUtf8));
    std::string input = c.input != nullptr ? c.input : "";
    Outcome run =
        KelvaneIn(folder.path(), c.words, c.input != nullptr ? &input : nullptr, scratch_);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    if (c.then_usage) {
      EXPECT_EQ(run.err.rfind(c.err + kUsageStart, 0), 0u) << run.err;
    } else {
      EXPECT_EQ(run.err, c.err);
    }
    std::vector<std::string> expected = {"-x.html", "page.html"};
    expected.insert(expected.end(), c.converted.begin(), c.converted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(folder.path()), expected);
    for (const std::string& text : c.converted) EXPECT_EQ(ReadFile(folder / text), kPageText);
  }
}

TEST_F(CliTest, HelpGoesToStandardOutputAndConvertsNothing) {
  ASSERT_TRUE(WriteFile(folder_ / "page.html", kPageUtf8));
  Outcome run = Kelvane({"--help", folder_ / "page.html", "--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind(kUsageStart, 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Exit status: 0"), std::string::npos) << run.out;
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"page.html"});
}

// Far more than a pipe holds or the first block takes, so the input is read
// in many pieces into a block that grows.
TEST_F(CliTest, LargeStandardInputGivesTheTextOfTheSameFile) {
  std::string page = "<html><body>";
  for (int i = 0; i < 40000; ++i) page += "<p>段落 " + std::to_string(i) + " の本文&amp;</p>\n";
  page += "</body></html>";
  ASSERT_GT(page.size(), 1000000u);
  ASSERT_TRUE(WriteFile(folder_ / "big.html", page));
  Outcome file_run = Kelvane({folder_ / "big.html"});
  ASSERT_EQ(file_run.status, 0) << file_run.err;
  Outcome run = Kelvane({"-"}, &page);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.out == ReadFile(folder_ / "big.txt")) << "the texts differ";
}

TEST_F(CliTest, ConvertsAPageBesideIt) {
  ASSERT_TRUE(WriteFile(folder_ / "page.html", kPageUtf8));
  Outcome run = Kelvane({folder_ / "page.html"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(folder_ / "page.txt"), kPageText);
  EXPECT_EQ(ListFolder(folder_.path()), (std::vector<std::string>{"page.html", "page.txt"}));
}

TEST_F(CliTest, ReplacesAnExistingOutputKeepingItsMode) {
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_TRUE(WriteFile(folder_ / "page.txt", std::string(5000, 'o'), 0640));
  Outcome run = Kelvane({folder_ / "page.htm"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(folder_ / "page.txt"), kPageText);
  EXPECT_EQ(testing::ModeOf(folder_ / "page.txt"), 0640u);
}

TEST_F(CliTest, JapaneseNamesAndLongPaths) {
  std::string deep = folder_.path();
  for (int i = 0; i < 6; ++i) {
    deep += "/" + std::string(60, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  std::string page = deep + "/ページ.html";
  ASSERT_GT(page.size(), 400u);
  ASSERT_TRUE(WriteFile(page, kPageUtf8));
  Outcome run = Kelvane({page});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(deep + "/ページ.txt"), kPageText);
}

struct FailureCase {
  const char* name;
  const char* file;      // the argument, relative to the folder
  const char* contents;  // null: create nothing; "<dir>": a folder
  std::size_t size;      // bytes of contents (they may hold NULs)
  const char* message;   // in UTF-8, as printed
  const char* shown;     // the path printed, relative to the folder
};

#define BYTES(s) s, sizeof(s) - 1

const FailureCase kFailures[] = {
    {"NotAnHtmlName", "notes.md", BYTES("<p>x</p>"), "HTMLファイルではありません：", "notes.md"},
    {"MissingFile", "missing.htm", nullptr, 0, "ファイルが開けません：", "missing.htm"},
    {"FolderNamedLikeAPage", "dir.htm", BYTES("<dir>"), "ファイルが開けません：", "dir.htm"},
    {"EmptyFile", "empty.htm", BYTES(""), "無効なファイルサイズです：", "empty.htm"},
    {"BrokenUtf8", "broken.htm", BYTES("\xEF\xBB\xBF<body><p>\xC3\x28</p>"),
     "文字コードの変換に失敗しました：", "broken.htm"},
    {"CharacterWithoutANearForm", "heart.htm", BYTES("\xEF\xBB\xBF<body><p>\xE2\x99\xA1</p>"),
     "文字コードの変換に失敗しました：", "heart.htm"},
    // UTF-8 without a mark whose emoji come early: taken for UTF-8, and failed
    // for the emoji rather than written out as Shift-JIS garbage.
    {"EmojiAtTheStart", "start.htm", BYTES("\xF0\x9F\x98\x80<html><body><p>x</p>"),
     "文字コードの変換に失敗しました：", "start.htm"},
    {"EmojiInTheTitle", "title.htm",
     BYTES("<html><head><title>\xE6\x99\xB4\xF0\x9F\x8C\x9E</title></head><body><p>x</p>"),
     "文字コードの変換に失敗しました：", "title.htm"},
    {"EmojiAmongAscii", "ascii.htm", BYTES("<body><p>Hello \xF0\x9F\x91\x8B world</p>"),
     "文字コードの変換に失敗しました：", "ascii.htm"},
    {"EmojiAmongJapanese", "dense.htm",
     BYTES("<html><body><p>\xE4\xBB\x8A\xE6\x97\xA5\xF0\x9F\x98\x80\xE3\x81\xAF"
           "\xE6\x99\xB4\xE3\x82\x8C\xE3\x81\xA7\xE3\x81\x99</p></body></html>"),
     "文字コードの変換に失敗しました：", "dense.htm"},
    {"OnlyNulBytes", "nul.htm", BYTES("\0\0\0\0"), "HTML→テキスト変換に失敗しました：", "nul.htm"},
    {"BodyTagNeverClosed", "body.htm", BYTES("<html><body"), "HTML→テキスト変換に失敗しました：",
     "body.htm"},
};

TEST_F(CliTest, EachFailurePrintsItsMessageAndLeavesNoOutput) {
  for (const FailureCase& c : kFailures) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    std::string file = folder / c.file;
    if (c.contents != nullptr && std::string(c.contents) == "<dir>") {
      ASSERT_EQ(mkdir(file.c_str(), 0755), 0);
    } else if (c.contents != nullptr) {
      ASSERT_TRUE(WriteFile(file, std::string(c.contents, c.size)));
    }
    std::vector<std::string> before = ListFolder(folder.path());
    Outcome run = Kelvane({file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kelvane: " + std::string(c.message) + (folder / c.shown) + "\n");
    EXPECT_EQ(ListFolder(folder.path()), before) << "no output, no temporary file";
  }
}

TEST_F(CliTest, OutputNameTakenByAFolderShowsTheOutputPathAndKeepsTheFolder) {
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_EQ(mkdir((folder_ / "page.txt").c_str(), 0755), 0);
  ASSERT_TRUE(WriteFile(folder_ / "page.txt/keep", "kept"));
  Outcome run = Kelvane({folder_ / "page.htm"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルの作成に失敗しました：" + (folder_ / "page.txt") + "\n");
  EXPECT_EQ(ListFolder(folder_.path()), (std::vector<std::string>{"page.htm", "page.txt"}))
      << "no temporary file left";
  EXPECT_EQ(ListFolder(folder_ / "page.txt"), std::vector<std::string>{"keep"});
  EXPECT_EQ(ReadFile(folder_ / "page.txt/keep"), "kept");
}

TEST_F(CliTest, RelativeAndEmptyArgumentsArePrintedAsGiven) {
  char* previous = getcwd(nullptr, 0);
  ASSERT_NE(previous, nullptr);
  ASSERT_EQ(chdir(folder_.path().c_str()), 0);
  Outcome run = Kelvane({"", "x", "./missing.HTML"});
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "kelvane: HTMLファイルではありません：\n"
            "kelvane: HTMLファイルではありません：x\n"
            "kelvane: ファイルが開けません：./missing.HTML\n");
}

TEST_F(CliTest, GoesOnAfterAFailureInArgumentOrder) {
  ASSERT_TRUE(WriteFile(folder_ / "a.htm", kPageUtf8));
  ASSERT_TRUE(WriteFile(folder_ / "c.xhtml", kPageUtf8));
  Outcome run = Kelvane({folder_ / "a.htm", folder_ / "b.htm", folder_ / "c.xhtml", folder_ / "d"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルが開けません：" + (folder_ / "b.htm") +
                         "\nkelvane: HTMLファイルではありません：" + (folder_ / "d") + "\n");
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), kPageText);
  EXPECT_EQ(ReadFile(folder_ / "c.txt"), kPageText);
}

TEST_F(CliTest, ReadOnlyOutputGivesTheCreateFailureAndIsKept) {
  ASSERT_EQ(chmod(folder_.path().c_str(), 0777), 0);
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_TRUE(WriteFile(folder_ / "page.txt", "old", 0444));
  Outcome run;
  if (!KelvaneUnprivileged({folder_ / "page.htm"}, &run)) {
    GTEST_SKIP() << "running as root without setpriv: cannot drop privileges";
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルの作成に失敗しました：" + (folder_ / "page.txt") + "\n");
  EXPECT_EQ(ReadFile(folder_ / "page.txt"), "old");
  EXPECT_EQ(ListFolder(folder_.path()), (std::vector<std::string>{"page.htm", "page.txt"}));
}

// Whoever runs it, root included: a file without any write bit is read-only.
TEST_F(CliTest, ReadOnlyOutputIsKeptForAnyUser) {
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_TRUE(WriteFile(folder_ / "page.txt", "old", 0444));
  Outcome run = Kelvane({folder_ / "page.htm"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルの作成に失敗しました：" + (folder_ / "page.txt") + "\n");
  EXPECT_EQ(ReadFile(folder_ / "page.txt"), "old");
  EXPECT_EQ(ListFolder(folder_.path()), (std::vector<std::string>{"page.htm", "page.txt"}));
}

TEST_F(CliTest, FolderWithoutWriteAccessGivesTheCreateFailure) {
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_EQ(chmod(folder_.path().c_str(), 0555), 0);
  Outcome run;
  bool ran = KelvaneUnprivileged({folder_ / "page.htm"}, &run);
  chmod(folder_.path().c_str(), 0755);
  if (!ran) GTEST_SKIP() << "running as root without setpriv: cannot drop privileges";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルの作成に失敗しました：" + (folder_ / "page.txt") + "\n");
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"page.htm"});
}

// The bundled samples: one page in every encoding, with and without byte
// order marks, must all give the same text, with the page's content in it.
TEST_F(CliTest, SamplesInEveryEncodingGiveTheSameText) {
  std::vector<std::string> pages;
  for (const std::string& name : ListFolder(KELVANE_SAMPLES_DIR)) {
    if (name.rfind("page-", 0) != 0 || name.size() < 5 || name.substr(name.size() - 5) != ".html") {
      continue;
    }
    ASSERT_TRUE(WriteFile(folder_ / name, ReadFile(std::string(KELVANE_SAMPLES_DIR) + "/" + name)));
    pages.push_back(folder_ / name);
  }
  ASSERT_EQ(pages.size(), 9u)
      << "UTF-8, UTF-16LE and UTF-16BE with and without BOM, and three more";
  Outcome run = Kelvane(pages);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  std::string first = ReadFile(pages[0].substr(0, pages[0].size() - 5) + ".txt");
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    EXPECT_EQ(ReadFile(page.substr(0, page.size() - 5) + ".txt"), first);
  }
  struct Fragment {
    const char* what;
    const char* bytes;  // Shift-JIS
  };
  const Fragment kPresent[] = {
      // みどり町図書館だより: the heading, after the two line feeds of H1
      {"Heading",
       "\r\n\r\n\x82\xDD\x82\xC7\x82\xE8\x92\xAC\x90\x7D\x8F\x91\x8A\xD9\x82\xBE\x82\xE6\x82\xE8\r"
       "\n"},
      // 月曜日 TAB 休館日 TAB: table cells
      {"TableRow", "\x8C\x8E\x97\x6A\x93\xFA\t\x8B\x78\x8A\xD9\x93\xFA\t\r\n"},
      // two blanks kept at the start of a preformatted line, then 図書
      {"Preformatted", "\r\n  \x90\x7D\x8F\x91"},
      // [図書館の外観]: the image's alternative text
      {"ImageAlt", "[\x90\x7D\x8F\x91\x8A\xD9\x82\xCC\x8A\x4F\x8A\xCF]"},
      // 「あ」 from a numeric reference
      {"NumericReference", "\x81\x75\x82\xA0\x81\x76"},
      {"NamedReferences", "&\x82\xC8"},
      {"LessAndGreater", "<\x90\x56\x92\x85\x90\x7D\x8F\x91>"},
      {"CopyrightAndSpace", "\x8A\xD9 (C) 2024 "},
  };
  for (const Fragment& f : kPresent) {
    EXPECT_NE(first.find(f.bytes), std::string::npos) << f.what;
  }
  const char* kAbsent[] = {
      "<p>",
      "<td>",
      "showCalendar",
      "font-family",
      "\x8F\x5C\x8C\x8E\x8D\x86",  // 十月号, only in the title in the head
      "\x96\x7B\x95\xB6",          // 本文, only in the comments
  };
  for (const char* bytes : kAbsent) {
    EXPECT_EQ(first.find(bytes), std::string::npos) << bytes;
  }
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (first[i] == '\n') {
      ASSERT_TRUE(i > 0 && first[i - 1] == '\r') << "a bare LF at " << i;
    }
  }
}

// Pages of a few megabytes are decoded in two parts side by side, Shift-JIS
// apart: each sample repeated (behind its one byte order mark) must still give
// one text in every encoding.
TEST_F(CliTest, LargePagesInEveryEncodingGiveTheSameText) {
  const std::string marks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  std::vector<std::string> pages;
  for (const std::string& name : ListFolder(KELVANE_SAMPLES_DIR)) {
    if (name.rfind("page-", 0) != 0 || name.substr(name.size() - 5) != ".html") continue;
    std::string page = ReadFile(std::string(KELVANE_SAMPLES_DIR) + "/" + name);
    std::string mark;
    for (const std::string& m : marks) {
      if (page.rfind(m, 0) == 0) mark = m;
    }
    page.erase(0, mark.size());
    // Over 2 MiB in every encoding.
    std::string large = mark;
    for (int i = 0; i < 1400; ++i) large += page;
    ASSERT_TRUE(WriteFile(folder_ / ("large-" + name), large));
    pages.push_back(folder_ / ("large-" + name));
  }
  ASSERT_EQ(pages.size(), 9u);
  Outcome run = Kelvane(pages);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string shift_jis = ReadFile(folder_ / "large-page-shift_jis.txt");
  ASSERT_GT(shift_jis.size(), std::size_t{1} << 20);
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    EXPECT_TRUE(ReadFile(page.substr(0, page.size() - 5) + ".txt") == shift_jis);
  }
}

// A Shift-JIS page without a CR skips decoding, and a large one has its CR and
// NUL looked for while its comments go; every kind of line end, with or
// without a NUL that ends the text early or a CR in a comment, must still give
// the same text, small or large.
TEST_F(CliTest, ShiftJisGivesTheSameTextWhateverItsLineEnds) {
  const std::string sample = ReadFile(std::string(KELVANE_SAMPLES_DIR) + "/page-shift_jis.html");
  ASSERT_NE(sample.find("\r\n"), std::string::npos);
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  // The body repeated to over a megabyte, where the steps run side by side.
  auto enlarged = [](const std::string& page) {
    const std::size_t from = page.find('>', page.find("<body")) + 1;
    const std::size_t to = page.find("</body>");
    std::string body = page.substr(from, to - from);
    std::string large = page.substr(0, from);
    while (large.size() < (3u << 19)) large += body;
    return large + page.substr(to);
  };
  for (const bool large : {false, true}) {
    SCOPED_TRACE(large ? "large" : "small");
    TempFolder folder;
    const std::string crlf = large ? enlarged(sample) : sample;
    const std::string lf = replaced(crlf, "\r\n", "\n");
    const std::string cut = std::string("\0", 1) + "<p>after the NUL</p>";
    const std::size_t body_end = lf.find("</body>");
    ASSERT_NE(body_end, std::string::npos);
    // A CR in a comment swallows the LF behind it: the text as the rule
    // leaves it, with no CR left, must give the same.
    const std::string in_comment = lf.substr(0, body_end) + "x<!--\r-->\ny" + lf.substr(body_end);
    const std::string ruled = lf.substr(0, body_end) + "x<!--\n-->y" + lf.substr(body_end);
    const std::string variants[][2] = {
        {"crlf", crlf},
        {"lf", lf},
        {"cr", replaced(lf, "\n", "\r")},
        {"mixed", replaced(replaced(lf, "\n<", "\r\n<"), "\r\n</", "\n</")},
        {"lf-nul", lf.substr(0, body_end) + cut},
        {"crlf-nul", replaced(lf.substr(0, body_end) + cut, "\n", "\r\n")},
        {"cr-in-comment", in_comment},
        {"ruled", ruled},
    };
    std::vector<std::string> pages;
    for (const auto& [name, bytes] : variants) {
      ASSERT_TRUE(WriteFile(folder / (name + ".html"), bytes));
      pages.push_back(folder / (name + ".html"));
    }
    Outcome run = Kelvane(pages);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = ReadFile(folder / "crlf.txt");
    ASSERT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_EQ(text.size() > (1u << 20), large);
    EXPECT_EQ(ReadFile(folder / "lf.txt"), text);
    EXPECT_EQ(ReadFile(folder / "cr.txt"), text);
    EXPECT_EQ(ReadFile(folder / "mixed.txt"), text);
    const std::string cut_text = ReadFile(folder / "lf-nul.txt");
    EXPECT_EQ(cut_text.find("after the NUL"), std::string::npos);
    EXPECT_EQ(ReadFile(folder / "crlf-nul.txt"), cut_text);
    const std::string ruled_text = ReadFile(folder / "ruled.txt");
    EXPECT_NE(ruled_text.find("xy"), std::string::npos);
    EXPECT_EQ(ReadFile(folder / "cr-in-comment.txt"), ruled_text);
  }
}

}  // namespace
}  // namespace kelvane
