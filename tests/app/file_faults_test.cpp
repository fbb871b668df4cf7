// The kelvane program against file-system faults, on real files: each case
// gives its message, leaves no partial output or temporary file, and leaves an
// existing output and its other names as they were unless the conversion
// succeeded (an output linked to the input is the input).
//
// Root ignores file permissions, so the read-only cases use a small tmpfs
// remounted read-only, and a full disk is a small tmpfs filled up; these run
// in a child process with a mount namespace of its own, and are skipped, with
// the reason, where mounting is not allowed. An input that changes between its
// size query and its read is made by running kelvane under ptrace: when the
// program's fstat of the input returns, the test truncates or extends the
// file, then lets the program go on untraced. The program itself is the one
// that ships, with nothing preloaded.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/app/kelvane_runner.h"
#include "tests/app/posix_files.h"

namespace kelvane {
namespace {

using testing::ChildResult;
using testing::ListFolder;
using testing::Outcome;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr char kOldOutput[] = "the output of an earlier run";

std::string OutputPathOf(const std::string& input) {
  return input.substr(0, input.rfind('.')) + ".txt";
}

// The usual arrangement: a page and an earlier output beside it.
std::string PageWithOldOutput(const std::string& folder) {
  std::string input = folder + "/page.html";
  bool ok = WriteFile(input, testing::kPageUtf8) && WriteFile(folder + "/page.txt", kOldOutput);
  return ok ? input : "";
}

// A page whose folder path is padded so that the input path has exactly
// length bytes; the padding is cut into names of at most 200 bytes.
std::string PageAtPathLength(const std::string& folder, std::size_t length) {
  const std::string file = "/page.html";
  std::string path = folder;
  if (length < path.size() + file.size() + 2) return "";
  while (path.size() + file.size() < length) {
    std::size_t room = length - path.size() - file.size() - 1;  // less the '/'
    // Leave at least two bytes for a last name when cutting.
    std::size_t name = room > 200 ? (room - 200 < 2 ? 198 : 200) : room;
    char letter = static_cast<char>('a' + path.size() % 26);
    path += '/';
    path.append(name, letter);
    if (mkdir(path.c_str(), 0755) != 0) return "";
  }
  std::string input = path + file;
  if (input.size() != length) return "";
  bool ok = WriteFile(input, testing::kPageUtf8) && WriteFile(path + "/page.txt", kOldOutput);
  return ok ? input : "";
}

// A sparse page of the given size: no disk space is used.
std::string SparsePage(const std::string& folder, off_t size) {
  std::string input = PageWithOldOutput(folder);
  if (input.empty() || truncate(input.c_str(), size) != 0) return "";
  return input;
}

// Fills the file system of folder, then frees room bytes again, so that a
// write of more than room bytes runs out of space part way.
bool FillDiskLeaving(const std::string& folder, off_t room) {
  std::string filler = folder + "/filler";
  int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  char block[4096];
  std::memset(block, 'f', sizeof(block));
  off_t size = 0;
  for (ssize_t put; (put = write(fd, block, sizeof(block))) > 0;) size += put;
  bool ok = size > room && ftruncate(fd, size - room) == 0;
  return close(fd) == 0 && ok;
}

// About 120 KB of text, for the 16 KB left free on a full disk.
std::string BigPage() {
  std::string page = "<body>";
  while (page.size() < 120000) page += "<p>" + std::string(70, 'x') + "</p>\n";
  return page;
}

// A page with an earlier output that has a second name, other.txt: a hard link
// (link) or the file a symbolic link points to (symlink); the disk is then
// filled as in the full-disk case.
std::string LinkedOutputOnAFullDisk(const std::string& folder,
                                    int (*link_to)(const char*, const char*)) {
  std::string other = folder + "/other.txt";
  bool ok = WriteFile(folder + "/page.html", BigPage()) && WriteFile(other, kOldOutput) &&
            link_to(link_to == symlink ? "other.txt" : other.c_str(),
                    (folder + "/page.txt").c_str()) == 0 &&
            FillDiskLeaving(folder, 16384);
  return ok ? folder + "/page.html" : "";
}

// A page whose output name is a link (link or symlink) to the page itself.
std::string OutputLinkedToTheInput(const std::string& folder,
                                   int (*link_to)(const char*, const char*)) {
  std::string input = folder + "/page.html";
  bool ok = WriteFile(input, testing::kPageUtf8) &&
            link_to(link_to == symlink ? "page.html" : input.c_str(),
                    (folder + "/page.txt").c_str()) == 0;
  return ok ? input : "";
}

// How the program is run.
enum class RunAs {
  kUser,                  // as the test's user
  kNobody,                // as the user nobody
  kShrinkAfterSizeQuery,  // under ptrace; the input is cut to half its size
  kGrowAfterSizeQuery,    // under ptrace; the input gets more bytes
};

struct FaultCase {
  const char* name;
  // Creates the files inside folder and returns the input path ("" when it
  // could not).
  std::string (*arrange)(const std::string& folder);
  RunAs run_as;
  const char* tmpfs;    // options of a tmpfs mounted on the folder, or null
  bool read_only;       // the tmpfs is remounted read-only after arrange
  const char* message;  // as printed (UTF-8); null when the conversion succeeds
  bool shows_output;    // the message names the output, not the input
};

constexpr char kCannotOpen[] = "ファイルが開けません：";
constexpr char kInvalidSize[] = "無効なファイルサイズです：";
constexpr char kCreateFailed[] = "ファイルの作成に失敗しました：";

const FaultCase kFaultCases[] = {
    {"InputMissing",
     [](const std::string& f) {
       return WriteFile(f + "/page.txt", kOldOutput) ? f + "/page.html" : "";
     },
     RunAs::kUser, nullptr, false, kCannotOpen, false},
    {"InputIsAFolder",
     [](const std::string& f) {
       bool ok =
           mkdir((f + "/page.html").c_str(), 0755) == 0 && WriteFile(f + "/page.txt", kOldOutput);
       return ok ? f + "/page.html" : "";
     },
     RunAs::kUser, nullptr, false, kCannotOpen, false},
    {"InputUnreadable",
     [](const std::string& f) {
       // Everything else is open to nobody, so only the refused read can
       // keep the old output and the folder as they were.
       std::string input = PageWithOldOutput(f);
       bool ok = !input.empty() && chmod(input.c_str(), 0000) == 0 &&
                 chmod((f + "/page.txt").c_str(), 0666) == 0 && chmod(f.c_str(), 0777) == 0;
       return ok ? input : "";
     },
     RunAs::kNobody, nullptr, false, kCannotOpen, false},
    {"InputEmpty",
     [](const std::string& f) {
       bool ok = WriteFile(f + "/page.html", "") && WriteFile(f + "/page.txt", kOldOutput);
       return ok ? f + "/page.html" : "";
     },
     RunAs::kUser, nullptr, false, kInvalidSize, false},
    {"InputShrinksAfterItsSizeQuery", PageWithOldOutput, RunAs::kShrinkAfterSizeQuery, nullptr,
     false, kCannotOpen, false},
    // Converting only what the size query promised would report a cut text
    // as a success.
    {"InputGrowsAfterItsSizeQuery", PageWithOldOutput, RunAs::kGrowAfterSizeQuery, nullptr, false,
     kCannotOpen, false},
    {"SparseInputOfFourGiB", [](const std::string& f) { return SparsePage(f, 1LL << 32); },
     RunAs::kUser, nullptr, false, kInvalidSize, false},
    // The low 32 bits of the size say 5: nothing may be read as if it were.
    {"SparseInputOfFourGiBAndFiveBytes",
     [](const std::string& f) { return SparsePage(f, (1LL << 32) + 5); }, RunAs::kUser, nullptr,
     false, kInvalidSize, false},
    {"SparseInputWithoutRoomForTheTerminatorsIn32Bits",
     [](const std::string& f) { return SparsePage(f, (1LL << 32) - 3); }, RunAs::kUser, nullptr,
     false, kInvalidSize, false},
    {"OutputFolderOnAReadOnlyMount",
     [](const std::string& f) {
       return WriteFile(f + "/page.html", testing::kPageUtf8) ? f + "/page.html" : "";
     },
     RunAs::kUser, "size=1m", true, kCreateFailed, true},
    {"ExistingOutputOnAReadOnlyMount", PageWithOldOutput, RunAs::kUser, "size=1m", true,
     kCreateFailed, true},
    {"DiskFullDuringTheWrite",
     [](const std::string& f) {
       bool ok = WriteFile(f + "/page.html", BigPage()) && WriteFile(f + "/page.txt", kOldOutput) &&
                 FillDiskLeaving(f, 16384);
       return ok ? f + "/page.html" : "";
     },
     RunAs::kUser, "size=512k", false, kCreateFailed, true},
    // Rewritten where it is to keep its other name: the room is reserved
    // first, so neither name loses a byte.
    {"HardLinkedOutputOnAFullDisk",
     [](const std::string& f) { return LinkedOutputOnAFullDisk(f, link); }, RunAs::kUser,
     "size=512k", false, kCreateFailed, true},
    {"SymbolicallyLinkedOutputOnAFullDisk",
     [](const std::string& f) { return LinkedOutputOnAFullDisk(f, symlink); }, RunAs::kUser,
     "size=512k", false, kCreateFailed, true},
    {"OutputIsASymbolicLinkToTheInput",
     [](const std::string& f) { return OutputLinkedToTheInput(f, symlink); }, RunAs::kUser, nullptr,
     false, kCreateFailed, true},
    {"OutputIsAHardLinkOfTheInput",
     [](const std::string& f) { return OutputLinkedToTheInput(f, link); }, RunAs::kUser, nullptr,
     false, kCreateFailed, true},
    {"PathOfExactly259Bytes", [](const std::string& f) { return PageAtPathLength(f, 259); },
     RunAs::kUser, nullptr, false, nullptr, false},
    {"PathOf260Bytes", [](const std::string& f) { return PageAtPathLength(f, 260); }, RunAs::kUser,
     nullptr, false, nullptr, false},
    {"PathNearTheSystemLimit",
     [](const std::string& f) { return PageAtPathLength(f, PATH_MAX - 100); }, RunAs::kUser,
     nullptr, false, nullptr, false},
};

// Names the row in gtest's messages.
void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.name;
}

// What one run left behind, gathered where the files can be seen.
struct CaseResult {
  std::string input;
  Outcome run;
  std::vector<std::string> listing_before;
  std::vector<std::string> listing_after;
  std::string output_before;
  std::string output_after;
  std::string other_before;  // other.txt, the output's second name where a case makes one
  std::string other_after;
  std::string skip;     // why the case cannot run here
  std::string failure;  // what went wrong in the test's own machinery
};

#if defined(__x86_64__)

bool IsSizeQuery(long number) {
  return number == SYS_fstat || number == SYS_newfstatat || number == SYS_statx;
}

// Whether descriptor fd of process pid is the file at path.
bool DescriptorIs(pid_t pid, long fd, const std::string& path) {
  if (fd < 0) return false;
  char target[PATH_MAX + 1];
  char resolved[PATH_MAX + 1];
  std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  ssize_t n = readlink(link.c_str(), target, PATH_MAX);
  return n > 0 && realpath(path.c_str(), resolved) != nullptr &&
         std::string(target, static_cast<std::size_t>(n)) == resolved;
}

// Runs argv under ptrace. When a size query on the input returns, change()
// runs and the program is let go. Sets skip when tracing is not possible.
Outcome RunChangingInputAfterSizeQuery(const std::vector<std::string>& argv,
                                       const TempFolder& scratch, const std::string& input,
                                       bool (*change)(const std::string&), std::string* skip,
                                       std::string* failure) {
  constexpr int kCannotTraceStatus = 77;
  Outcome run;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::string out_path = scratch / "stdout";
  std::string err_path = scratch / "stderr";
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(kCannotTraceStatus);
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(kCannotTraceStatus);
    execv(args[0], args.data());
    _exit(kCannotTraceStatus);
  }
  if (pid < 0) {
    *skip = "cannot fork";
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);  // stopped at the exec
  if (!WIFSTOPPED(status)) {
    *skip = "ptrace is not allowed here";
    return run;
  }
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  bool changed = false;
  int signal = 0;
  for (;;) {
    ptrace(PTRACE_SYSCALL, pid, nullptr, signal);
    if (waitpid(pid, &status, 0) < 0 || !WIFSTOPPED(status)) break;
    signal = WSTOPSIG(status);
    if (signal == SIGTRAP) {  // a later exec, such as valgrind starting its tool
      signal = 0;
      continue;
    }
    if (signal != (SIGTRAP | 0x80)) continue;  // a real signal: delivered
    signal = 0;
    user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0) continue;
    // On entry the kernel has put -ENOSYS in rax; on exit it holds the result.
    bool exiting = static_cast<long>(regs.rax) != -ENOSYS;
    if (exiting && IsSizeQuery(static_cast<long>(regs.orig_rax)) && regs.rax == 0 &&
        DescriptorIs(pid, static_cast<long>(regs.rdi), input)) {
      changed = change(input);
      ptrace(PTRACE_DETACH, pid, nullptr, 0);
      while (waitpid(pid, &status, 0) < 0) {
      }
      break;
    }
  }
  if (!changed) *failure = "the input was not changed after the program's size query";
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.err = ReadFile(err_path);
  run.out = ReadFile(out_path);
  return run;
}

#endif

bool CutToHalf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && truncate(path.c_str(), info.st_size / 2) == 0;
}

bool AppendMore(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0) return false;
  static const char kMore[] = "<p>written after the size query</p>\n";
  bool ok = write(fd, kMore, sizeof(kMore) - 1) == static_cast<ssize_t>(sizeof(kMore) - 1);
  return close(fd) == 0 && ok;
}

// Arranges the case in folder, runs kelvane and notes what it left.
CaseResult RunCase(const FaultCase& c, const std::string& folder, const TempFolder& scratch) {
  CaseResult result;
  result.input = c.arrange(folder);
  if (result.input.empty()) {
    result.failure = "could not arrange the files";
    return result;
  }
  // Only ever asked for inside the private mount namespace.
  if (c.read_only &&
      mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    result.failure = "could not remount the folder read-only";
    return result;
  }
  std::string input_folder = result.input.substr(0, result.input.rfind('/'));
  std::string output = OutputPathOf(result.input);
  result.listing_before = ListFolder(input_folder);
  result.output_before = ReadFile(output);
  result.other_before = ReadFile(input_folder + "/other.txt");
  switch (c.run_as) {
    case RunAs::kUser:
      result.run = testing::RunKelvane({result.input}, scratch);
      break;
    case RunAs::kNobody:
      if (!testing::RunKelvaneUnprivileged({result.input}, scratch, &result.run)) {
        result.skip = "running as root without setpriv: cannot drop privileges";
      }
      break;
    case RunAs::kShrinkAfterSizeQuery:
    case RunAs::kGrowAfterSizeQuery:
#if defined(__x86_64__)
      result.run = RunChangingInputAfterSizeQuery(
          testing::KelvaneCommand({result.input}, scratch), scratch, result.input,
          c.run_as == RunAs::kShrinkAfterSizeQuery ? CutToHalf : AppendMore, &result.skip,
          &result.failure);
      testing::ExpectNoValgrindError(result.run, scratch);
#else
      result.skip = "the size query is caught with x86-64 registers only";
#endif
      break;
  }
  result.listing_after = ListFolder(input_folder);
  result.output_after = ReadFile(output);
  result.other_after = ReadFile(input_folder + "/other.txt");
  return result;
}

// A CaseResult through a file, for the cases run in a child process.
void PutField(std::string* packed, const std::string& field) {
  *packed += std::to_string(field.size()) + ":" + field;
}

bool TakeField(const std::string& packed, std::size_t* at, std::string* field) {
  std::size_t colon = packed.find(':', *at);
  if (colon == std::string::npos) return false;
  std::size_t size = std::strtoul(packed.c_str() + *at, nullptr, 10);
  if (colon + 1 + size > packed.size()) return false;
  *field = packed.substr(colon + 1, size);
  *at = colon + 1 + size;
  return true;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += name + "/";
  return joined;
}

std::vector<std::string> SplitNames(const std::string& joined) {
  std::vector<std::string> names;
  for (std::size_t at = 0, slash; (slash = joined.find('/', at)) != std::string::npos;
       at = slash + 1) {
    names.push_back(joined.substr(at, slash - at));
  }
  return names;
}

std::string Pack(const CaseResult& r) {
  std::string packed;
  for (const std::string& field :
       {r.input, std::to_string(r.run.status), r.run.err, r.run.out, JoinNames(r.listing_before),
        JoinNames(r.listing_after), r.output_before, r.output_after, r.other_before, r.other_after,
        r.skip, r.failure}) {
    PutField(&packed, field);
  }
  return packed;
}

bool Unpack(const std::string& packed, CaseResult* r) {
  std::string fields[12];
  std::size_t at = 0;
  for (std::string& field : fields) {
    if (!TakeField(packed, &at, &field)) return false;
  }
  r->input = fields[0];
  r->run.status = std::atoi(fields[1].c_str());
  r->run.err = fields[2];
  r->run.out = fields[3];
  r->listing_before = SplitNames(fields[4]);
  r->listing_after = SplitNames(fields[5]);
  r->output_before = fields[6];
  r->output_after = fields[7];
  r->other_before = fields[8];
  r->other_after = fields[9];
  r->skip = fields[10];
  r->failure = fields[11];
  return true;
}

// Runs the case with a tmpfs on folder, in a mount namespace of its own.
CaseResult RunCaseOnTmpfs(const FaultCase& c, const std::string& folder,
                          const TempFolder& scratch) {
  CaseResult result;
  std::string packed_path = scratch / "case-result";
  ChildResult child = testing::RunWithPrivateMounts(
      [&] {
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, c.tmpfs) != 0) return false;
        // The tmpfs root takes the folder's place: open to everyone, like it.
        return chmod(folder.c_str(), 0755) == 0;
      },
      [&] { return WriteFile(packed_path, Pack(RunCase(c, folder, scratch))); });
  if (child == ChildResult::kCannotSetUp) {
    result.skip = "cannot mount a small tmpfs in a private mount namespace (needs root)";
  } else if (child != ChildResult::kPassed || !Unpack(ReadFile(packed_path), &result)) {
    result.failure = "the child process that ran the case gave no result";
  }
  return result;
}

class FileFaultTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  TempFolder folder_;
  TempFolder scratch_;
};

TEST_P(FileFaultTest, GivesItsMessageAndKeepsOrReplacesTheOutputWhole) {
  const FaultCase& c = GetParam();
  ASSERT_FALSE(folder_.path().empty() || scratch_.path().empty());
  std::string work = folder_ / "work";
  ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
  CaseResult r =
      c.tmpfs != nullptr ? RunCaseOnTmpfs(c, work, scratch_) : RunCase(c, work, scratch_);
  ASSERT_EQ(r.failure, "");
  if (!r.skip.empty()) GTEST_SKIP() << r.skip;
  std::string output = OutputPathOf(r.input);
  if (c.message == nullptr) {
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_EQ(r.run.err, "");
    EXPECT_EQ(r.output_after, testing::kPageText);
    EXPECT_EQ(r.listing_after, r.listing_before) << "the output replaced, nothing else";
    return;
  }
  EXPECT_EQ(r.run.status, 1);
  EXPECT_EQ(r.run.err,
            "kelvane: " + std::string(c.message) + (c.shows_output ? output : r.input) + "\n");
  EXPECT_EQ(r.output_after, r.output_before) << "an existing output is left as it was";
  EXPECT_EQ(r.other_after, r.other_before) << "and so is its other name";
  EXPECT_EQ(r.listing_after, r.listing_before) << "no output, no temporary file";
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, FileFaultTest, ::testing::ValuesIn(kFaultCases), CaseName);

}  // namespace
}  // namespace kelvane
