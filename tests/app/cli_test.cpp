// The kelvane program end to end: run as a child process on real files in a
// temporary folder, checking exit status, the lines on stderr (UTF-8) and the
// bytes of the files it writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/app/posix_files.h"

extern char** environ;

namespace kelvane {
namespace {

using testing::Exists;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

struct Outcome {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string err;
  std::string out;
};

// Runs argv[0] with the rest as arguments, stdout and stderr captured.
Outcome Spawn(const std::vector<std::string>& argv, const TempFolder& scratch) {
  std::string err_path = scratch / "stderr";
  std::string out_path = scratch / "stdout";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  Outcome run;
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.err = ReadFile(err_path);
  run.out = ReadFile(out_path);
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

  // Runs kelvane on the given arguments.
  Outcome Kelvane(const std::vector<std::string>& files) {
    std::vector<std::string> argv = {KELVANE_BINARY};
    argv.insert(argv.end(), files.begin(), files.end());
    return Spawn(argv, scratch_);
  }

  // Runs kelvane as the user nobody: as root through setpriv, otherwise as the
  // current user. False when that is not possible here.
  bool KelvaneUnprivileged(const std::vector<std::string>& files, Outcome* run) {
    std::vector<std::string> argv;
    if (geteuid() == 0) {
      if (access("/usr/bin/setpriv", X_OK) != 0) return false;
      argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    argv.push_back(KELVANE_BINARY);
    argv.insert(argv.end(), files.begin(), files.end());
    *run = Spawn(argv, scratch_);
    return true;
  }

  TempFolder folder_;   // where the test's files live
  TempFolder scratch_;  // captured output of the child
};

// A small page and its exact conversion: Shift-JIS with CRLF line ends.
const char kPageUtf8[] =
    "<html><head><title>t</title></head><body>\n<h1>見出し</h1>\n"
    "<p>こんにちは、世界。</p><p>A&amp;B &#12354;</p></body></html>\n";
const char kPageText[] =
    "\r\n\r\n\x8C\xA9\x8F\x6F\x82\xB5\r\n\r\n"
    "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\x81\x41\x90\xA2\x8A\x45\x81\x42\r\n"
    "\r\nA&B \x82\xA0\r\n";

TEST_F(CliTest, NoFileGivesUsageAndStatusTwo) {
  Outcome run = Kelvane({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("usage: kelvane FILE...\n", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
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
    {"CharacterCp932Lacks", "accent.htm", BYTES("\xEF\xBB\xBF<body><p>caf\xC3\xA9</p>"),
     "文字コードの変換に失敗しました：", "accent.htm"},
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

TEST_F(CliTest, OutputNameTakenByAFolderShowsTheOutputPath) {
  ASSERT_TRUE(WriteFile(folder_ / "page.htm", kPageUtf8));
  ASSERT_EQ(mkdir((folder_ / "page.txt").c_str(), 0755), 0);
  Outcome run = Kelvane({folder_ / "page.htm"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kelvane: ファイルの作成に失敗しました：" + (folder_ / "page.txt") + "\n");
}

TEST_F(CliTest, RelativeAndEmptyArgumentsArePrintedAsGiven) {
  ASSERT_EQ(chdir(folder_.path().c_str()), 0);
  Outcome run = Kelvane({"", "x", "./missing.HTML"});
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

}  // namespace
}  // namespace kelvane
