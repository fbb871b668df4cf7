// The POSIX platform table on real files: what a read delivers or refuses,
// that a write replaces the output whole or leaves everything as it was, and
// the warning line on stderr.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "app/platform.h"
#include "common/heap.h"
#include "tests/app/posix_files.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::ChildResult;
using testing::Exists;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

const Platform& Posix() {
  return *DefaultPlatform();
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty()) << "no temporary folder";
    ASSERT_EQ(testing::LiveBlocks(), 0);
  }
  void TearDown() override { EXPECT_EQ(testing::LiveBlocks(), 0); }

  // Reads path and returns the result; on success also the data without the
  // three NUL bytes, after checking they are there.
  ReadResult Read(const std::string& path, std::string* data = nullptr) {
    char* block = nullptr;
    uint32_t size = 12345;
    ReadResult result = Posix().read_whole_file(path.c_str(), &block, &size);
    if (result != ReadResult::kOk) {
      EXPECT_EQ(block, nullptr) << "a refused read hands over no block";
      return result;
    }
    EXPECT_EQ(std::memcmp(block + size, "\0\0\0", 3), 0) << "three NUL bytes behind the data";
    if (data != nullptr) data->assign(block, size);
    MemFree(block);
    return result;
  }

  int Write(const std::string& path, const std::string& data) {
    return Posix().write_whole_file(path.c_str(), data.data(), static_cast<uint32_t>(data.size()));
  }

  TempFolder folder_;
};

// Both jobs run, the second on a thread of its own that has ended by the time
// run_both returns; on a single processor both on the caller's, in order.
TEST(PosixRunBoth, RunsTheSecondJobOnAnotherThreadGivenTwoProcessors) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  for (const cpu_set_t* set : {&all, &one}) {
    const bool single = CPU_COUNT(set) == 1;
    SCOPED_TRACE(single ? "one processor" : "all processors");
    ASSERT_EQ(sched_setaffinity(0, sizeof *set, set), 0);
    struct Job {
      pthread_t thread{};
      int runs = 0;
      int order = 0;
    };
    static int started;
    started = 0;
    Job jobs[2];
    DefaultPlatform()->run_both(
        [](void* job) {
          Job* j = static_cast<Job*>(job);
          j->thread = pthread_self();
          j->order = ++started;
          ++j->runs;
        },
        &jobs[0], &jobs[1]);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(jobs[0].runs, 1);
    EXPECT_EQ(jobs[1].runs, 1);
    EXPECT_TRUE(pthread_equal(jobs[0].thread, pthread_self()));
    EXPECT_EQ(pthread_equal(jobs[1].thread, pthread_self()) != 0, single);
    if (single) {
      EXPECT_EQ(jobs[0].order, 1);
      EXPECT_EQ(jobs[1].order, 2);
    }
  }
}

TEST_F(PosixPlatformTest, ReadDeliversEveryByteFollowedByThreeNuls) {
  const std::string cases[] = {"a", "ab", "<html>\r\n", std::string("x\0y\0", 4),
                               std::string(100000, '\x82')};
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    ASSERT_TRUE(WriteFile(folder_ / "in.htm", bytes));
    std::string data;
    ASSERT_EQ(Read(folder_ / "in.htm", &data), ReadResult::kOk);
    EXPECT_EQ(data, bytes);
  }
}

struct ReadCase {
  const char* name;
  bool (*arrange)(const std::string& folder);  // creates what "folder/x" is
  ReadResult want;
};

const ReadCase kRefusedReads[] = {
    {"MissingFile", [](const std::string&) { return true; }, ReadResult::kCannotOpen},
    {"Folder", [](const std::string& f) { return mkdir((f + "/x").c_str(), 0755) == 0; },
     ReadResult::kCannotOpen},
    {"EmptyFile", [](const std::string& f) { return WriteFile(f + "/x", ""); },
     ReadResult::kInvalidSize},
    // Opening a FIFO with no writer must neither block nor read nothing as text.
    {"FifoWithoutWriter",
     [](const std::string& f) { return mkfifo((f + "/x").c_str(), 0644) == 0; },
     ReadResult::kInvalidSize},
    {"CharacterDevice",
     [](const std::string& f) { return symlink("/dev/null", (f + "/x").c_str()) == 0; },
     ReadResult::kInvalidSize},
    {"DanglingLink",
     [](const std::string& f) { return symlink("nowhere", (f + "/x").c_str()) == 0; },
     ReadResult::kCannotOpen},
    // Sparse files: no disk space used, and nothing is allocated for them.
    {"FourGiB",
     [](const std::string& f) {
       return WriteFile(f + "/x", "a") && truncate((f + "/x").c_str(), 1LL << 32) == 0;
     },
     ReadResult::kInvalidSize},
    {"NoRoomForTheNulsIn32Bits",
     [](const std::string& f) {
       return WriteFile(f + "/x", "a") && truncate((f + "/x").c_str(), (1LL << 32) - 3) == 0;
     },
     ReadResult::kInvalidSize},
};

TEST_F(PosixPlatformTest, RefusedReads) {
  for (const ReadCase& c : kRefusedReads) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    ASSERT_TRUE(c.arrange(folder.path()));
    long before = testing::AllocationCount();
    EXPECT_EQ(Read(folder / "x"), c.want);
    EXPECT_EQ(testing::AllocationCount(), before) << "nothing allocated for a refused file";
  }
}

TEST_F(PosixPlatformTest, ReadWithinAFileIsAnOpenFailure) {
  ASSERT_TRUE(WriteFile(folder_ / "file.htm", "<p>"));
  EXPECT_EQ(Read(folder_ / "file.htm/x.htm"), ReadResult::kCannotOpen);
}

TEST_F(PosixPlatformTest, FailedBlockAllocationIsOutOfMemory) {
  ASSERT_TRUE(WriteFile(folder_ / "in.htm", "<p>x</p>"));
  testing::ScopedHeapFaults faults;
  testing::FailNthAllocation(1);
  EXPECT_EQ(Read(folder_ / "in.htm"), ReadResult::kOutOfMemory);
}

TEST_F(PosixPlatformTest, UnreadableFileCannotBeOpened) {
  std::string path = folder_ / "secret.htm";
  ASSERT_TRUE(WriteFile(path, "<p>x</p>", 0000));
  ChildResult result = testing::RunUnprivileged([&] {
    char* block = nullptr;
    uint32_t size = 0;
    return Posix().read_whole_file(path.c_str(), &block, &size) == ReadResult::kCannotOpen;
  });
  if (result == ChildResult::kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user";
  EXPECT_EQ(result, ChildResult::kPassed);
}

TEST_F(PosixPlatformTest, WriteCreatesTheFileWithTheUsualMode) {
  mode_t old_mask = umask(027);
  int written = Write(folder_ / "out.txt", "abc\r\n");
  umask(old_mask);
  ASSERT_EQ(written, 1);
  EXPECT_EQ(ReadFile(folder_ / "out.txt"), "abc\r\n");
  EXPECT_EQ(testing::ModeOf(folder_ / "out.txt"), 0640u) << "0666 less the umask";
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.txt"})
      << "no temporary file left behind";
}

TEST_F(PosixPlatformTest, WriteReplacesAnExistingFileKeepingItsMode) {
  ASSERT_TRUE(WriteFile(folder_ / "out.txt", "an older and longer text", 0604));
  ASSERT_EQ(Write(folder_ / "out.txt", "new"), 1);
  EXPECT_EQ(ReadFile(folder_ / "out.txt"), "new");
  EXPECT_EQ(testing::ModeOf(folder_ / "out.txt"), 0604u);
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.txt"});
}

// Root converting someone's page must not leave them a file they cannot change.
TEST_F(PosixPlatformTest, RootKeepsTheOwnerOfAReplacedFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  std::string path = folder_ / "out.txt";
  ASSERT_TRUE(WriteFile(path, "old", 0644));
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(Write(path, "new"), 1);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
  EXPECT_EQ(ReadFile(path), "new");
}

TEST_F(PosixPlatformTest, WriteOfNothingLeavesAnEmptyFile) {
  ASSERT_TRUE(WriteFile(folder_ / "out.txt", "old"));
  ASSERT_EQ(Write(folder_ / "out.txt", ""), 1);
  EXPECT_EQ(ReadFile(folder_ / "out.txt"), "");
}

TEST_F(PosixPlatformTest, WriteWithoutFolderUsesTheCurrentFolder) {
  char* previous = getcwd(nullptr, 0);
  ASSERT_NE(previous, nullptr);
  ASSERT_EQ(chdir(folder_.path().c_str()), 0);
  int written = Write("out.txt", "here");
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
  ASSERT_EQ(written, 1);
  EXPECT_EQ(ReadFile(folder_ / "out.txt"), "here");
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.txt"});
}

TEST_F(PosixPlatformTest, WriteOfALargeTextIsComplete) {
  std::string text;
  for (int i = 0; text.size() < (8u << 20); ++i) text += std::to_string(i) + "\r\n";
  ASSERT_EQ(Write(folder_ / "big.txt", text), 1);
  EXPECT_EQ(ReadFile(folder_ / "big.txt"), text);
}

struct RefusedWriteCase {
  const char* name;
  bool (*arrange)(const std::string& folder);  // prepares "folder/out.txt"
  const char* path;                            // relative to the folder
};

const RefusedWriteCase kRefusedWrites[] = {
    {"NameTakenByAFolder",
     [](const std::string& f) {
       return mkdir((f + "/out.txt").c_str(), 0755) == 0 && WriteFile(f + "/out.txt/keep", "kept");
     },
     "out.txt"},
    {"FifoNobodyReads",
     [](const std::string& f) { return mkfifo((f + "/out.txt").c_str(), 0644) == 0; }, "out.txt"},
    {"MissingFolder", [](const std::string&) { return true; }, "no/such/folder/out.txt"},
    {"FolderIsAFile", [](const std::string& f) { return WriteFile(f + "/file", "x"); },
     "file/out.txt"},
};

TEST_F(PosixPlatformTest, RefusedWritesChangeNothing) {
  for (const RefusedWriteCase& c : kRefusedWrites) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    ASSERT_TRUE(c.arrange(folder.path()));
    std::vector<std::string> before = ListFolder(folder.path());
    EXPECT_EQ(Write(folder / c.path, "text"), 0);
    EXPECT_EQ(ListFolder(folder.path()), before) << "no file added, removed or left behind";
  }
}

TEST_F(PosixPlatformTest, FailedTemporaryNameAllocationWritesNothing) {
  testing::ScopedHeapFaults faults;
  testing::FailNthAllocation(1);
  EXPECT_EQ(Write(folder_ / "out.txt", "text"), 0);
  EXPECT_TRUE(ListFolder(folder_.path()).empty());
}

// Read-only cases: as root they need a child that dropped its privileges.
TEST_F(PosixPlatformTest, ReadOnlyOutputIsRefusedAndKept) {
  ASSERT_EQ(chmod(folder_.path().c_str(), 0777), 0);  // the folder itself is writable
  std::string path = folder_ / "out.txt";
  ASSERT_TRUE(WriteFile(path, "keep me", 0444));
  ChildResult result = testing::RunUnprivileged(
      [&] { return Posix().write_whole_file(path.c_str(), "new", 3) == 0; });
  if (result == ChildResult::kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user";
  EXPECT_EQ(result, ChildResult::kPassed);
  EXPECT_EQ(ReadFile(path), "keep me");
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.txt"});
}

TEST_F(PosixPlatformTest, FolderWithoutWriteAccessIsRefused) {
  ASSERT_EQ(chmod(folder_.path().c_str(), 0555), 0);
  std::string path = folder_ / "out.txt";
  ChildResult result = testing::RunUnprivileged(
      [&] { return Posix().write_whole_file(path.c_str(), "new", 3) == 0; });
  chmod(folder_.path().c_str(), 0755);
  if (result == ChildResult::kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user";
  EXPECT_EQ(result, ChildResult::kPassed);
  EXPECT_TRUE(ListFolder(folder_.path()).empty());
}

// A folder that takes no new files still lets its owner's files be written:
// the output is rewritten where it is, as a plain create-and-replace would.
TEST_F(PosixPlatformTest, WritableOutputInAFolderWithoutWriteAccessIsRewritten) {
  std::string path = folder_ / "out.txt";
  ASSERT_TRUE(WriteFile(path, "an older and longer text", 0666));
  ASSERT_EQ(chmod(folder_.path().c_str(), 0555), 0);
  ChildResult result = testing::RunUnprivileged(
      [&] { return Posix().write_whole_file(path.c_str(), "new", 3) == 1; });
  chmod(folder_.path().c_str(), 0755);
  if (result == ChildResult::kCannotSetUp) GTEST_SKIP() << "cannot drop to an unprivileged user";
  EXPECT_EQ(result, ChildResult::kPassed);
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(testing::ModeOf(path), 0666u);
  EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.txt"});
}

struct LinkedOutputCase {
  const char* name;
  int (*link_to)(const char* target, const char* name);  // symlink or link
  bool stays_a_symbolic_link;
};

// An output reached through a link is the file the user keeps elsewhere: it
// gets the text, and the link stays.
TEST_F(PosixPlatformTest, LinkedOutputsAreRewrittenThroughTheLink) {
  const LinkedOutputCase cases[] = {
      {"SymbolicLink", symlink, true},
      {"SecondHardLink", link, false},
  };
  for (const LinkedOutputCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string target = folder / "kept.txt";
    const std::string path = folder / "out.txt";
    ASSERT_TRUE(WriteFile(target, "an older and longer text", 0604));
    ASSERT_EQ(c.link_to(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(Write(path, "new"), 1);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(testing::ModeOf(target), 0604u);
    struct stat name;
    ASSERT_EQ(lstat(path.c_str(), &name), 0);
    EXPECT_EQ(S_ISLNK(name.st_mode), c.stays_a_symbolic_link);
    EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"kept.txt", "out.txt"}));
  }
}

// A text in parts, each handed over in a buffer the next call overwrites, as
// the driver's are; it may give up after its last part.
struct ScriptedParts {
  std::vector<std::string> parts;
  bool gives_up;
  std::size_t next = 0;
  std::string held;
};

int NextScriptedPart(void* source, const char** data, uint32_t* size) {
  ScriptedParts* s = static_cast<ScriptedParts*>(source);
  if (s->next == s->parts.size()) return s->gives_up ? -1 : 0;
  s->held.assign(s->held.size(), '#');
  s->held = s->parts[s->next++];
  *data = s->held.data();
  *size = static_cast<uint32_t>(s->held.size());
  return 1;
}

struct PartsOutputCase {
  const char* name;
  int (*link_to)(const char* target, const char* name);  // null: out.txt itself
  bool exists;
};

// A text in parts lands whole where a whole one would, a hard-linked output
// (rewritten in place) included; a text that gives up leaves every file as
// it was.
TEST_F(PosixPlatformTest, WriteInPartsIsAllOrNothing) {
  const PartsOutputCase cases[] = {
      {"NewFile", nullptr, false},
      {"ExistingFile", nullptr, true},
      {"SymbolicLink", symlink, true},
      {"SecondHardLink", link, true},
  };
  const std::vector<std::string> parts = {"first ", "", std::string(100000, 'x'), "\r\nlast"};
  std::string joined;
  for (const std::string& part : parts) joined += part;
  for (const PartsOutputCase& c : cases) {
    for (bool gives_up : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (gives_up ? " giving up" : ""));
      TempFolder folder;
      const std::string path = folder / "out.txt";
      const std::string kept = c.link_to != nullptr ? folder / "kept.txt" : path;
      ASSERT_TRUE(!c.exists || WriteFile(kept, "old text"));
      ASSERT_TRUE(c.link_to == nullptr || c.link_to(kept.c_str(), path.c_str()) == 0);
      const std::vector<std::string> before = ListFolder(folder.path());
      ScriptedParts source{parts, gives_up, 0, ""};
      EXPECT_EQ(Posix().write_file_in_parts(path.c_str(), NextScriptedPart, &source),
                gives_up ? 0 : 1);
      if (!gives_up) {
        EXPECT_EQ(ReadFile(path), joined);
      } else if (c.exists) {
        EXPECT_EQ(ReadFile(kept), "old text");
      }
      const std::vector<std::string> after = ListFolder(folder.path());
      EXPECT_EQ(after, !gives_up && !c.exists ? std::vector<std::string>{"out.txt"} : before);
    }
  }
}

// A full disk: the write fails part way, and the output keeps its old text.
TEST_F(PosixPlatformTest, FullDiskLeavesTheOldOutputWhole) {
  std::string disk = folder_ / "disk";
  ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
  std::string path = disk + "/out.txt";
  ChildResult result = testing::RunWithPrivateMounts(
      [&] {
        return mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") == 0 &&
               WriteFile(path, "the old text");
      },
      [&] {
        std::string big(1 << 20, 'x');
        bool refused = Posix().write_whole_file(path.c_str(), big.data(), 1u << 20) == 0;
        bool kept = ReadFile(path) == "the old text";
        bool clean = ListFolder(disk) == std::vector<std::string>{"out.txt"};
        if (!(refused && kept && clean)) {
          std::fprintf(stderr, "refused %d kept %d clean %d\n", refused, kept, clean);
        }
        return refused && kept && clean;
      });
  if (result == ChildResult::kCannotSetUp) {
    GTEST_SKIP() << "cannot mount a small tmpfs in a private mount namespace (needs root)";
  }
  EXPECT_EQ(result, ChildResult::kPassed);
}

// Captures what show_warning writes to stderr.
std::string WarningLine(const char* message, const char* path) {
  std::fflush(stderr);
  FILE* capture = std::tmpfile();
  int saved = dup(2);
  dup2(fileno(capture), 2);
  Posix().show_warning(message, path);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string line;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) line += static_cast<char>(c);
  std::fclose(capture);
  return line;
}

struct WarningCase {
  const char* name;
  const char* message;
  const char* path;
  const char* want;
};

const WarningCase kWarnings[] = {
    {"MessageInUtf8ThenPath", kCannotOpenMessage, "/tmp/x.htm",
     "kelvane: ファイルが開けません：/tmp/x.htm\n"},
    {"PathBytesAsGiven", kNotHtmlMessage, "\xE3\x83\x9A\xFF.md",
     "kelvane: HTMLファイルではありません：\xE3\x83\x9A\xFF.md\n"},
    {"EmptyPath", kNotHtmlMessage, "", "kelvane: HTMLファイルではありません：\n"},
    {"NullPath", kUnknownErrorMessage, nullptr, "kelvane: 不明のエラー\n"},
    {"HalfWidthKatakana", "\xB6\xC5", "p", "kelvane: ｶﾅp\n"},
    {"UndefinedPairShowsAsAQuestionMark", "\x85\x40!", "p", "kelvane: ?!p\n"},
    {"LeadByteAtTheEndShowsAsAQuestionMark", "!\x82", "p", "kelvane: !?p\n"},
};

TEST(PosixWarning, OneUtf8LineOnStderr) {
  for (const WarningCase& c : kWarnings) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WarningLine(c.message, c.path), c.want);
  }
}

}  // namespace
}  // namespace kelvane
