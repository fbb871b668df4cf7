#include "tests/app/kelvane_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

extern char** environ;

namespace kelvane::testing {
namespace {

bool UnderValgrind() {
  const char* value = std::getenv("KELVANE_TEST_UNDER_VALGRIND");
  return value != nullptr && *value != '\0';
}

// Feeds input into the pipe's write end and closes it. A child that exits
// without reading makes the write fail (SIGPIPE is ignored for that).
void Feed(int fd, const std::string& input) {
  std::signal(SIGPIPE, SIG_IGN);
  std::size_t done = 0;
  while (done < input.size()) {
    ssize_t put = write(fd, input.data() + done, input.size() - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  close(fd);
}

}  // namespace

Outcome Spawn(const std::vector<std::string>& argv, const TempFolder& scratch,
              const std::string* input) {
  std::string err_path = scratch / "stderr";
  std::string out_path = scratch / "stdout";
  // Close-on-exec, so the child holds no write end and sees the input end.
  int pipe_fds[2] = {-1, -1};
  if (input != nullptr && pipe2(pipe_fds, O_CLOEXEC) != 0) return Outcome{};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (input != nullptr) posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  Outcome run;
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (input != nullptr) {
    close(pipe_fds[0]);
    if (spawned == 0) {
      Feed(pipe_fds[1], *input);
    } else {
      close(pipe_fds[1]);
    }
  }
  if (spawned != 0) return run;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.err = ReadFile(err_path);
  run.out = ReadFile(out_path);
  return run;
}

std::vector<std::string> KelvaneCommand(const std::vector<std::string>& files,
                                        const TempFolder& scratch) {
  std::vector<std::string> argv;
  if (UnderValgrind()) {
    // Open to everyone, so a run as nobody can write its report too.
    chmod(scratch.path().c_str(), 0777);
    argv = {"/usr/bin/valgrind", "--quiet",
            "--error-exitcode=" + std::to_string(kValgrindErrorStatus), "--leak-check=full",
            "--log-file=" + (scratch / "valgrind.log")};
  }
  argv.push_back(KELVANE_BINARY);
  argv.insert(argv.end(), files.begin(), files.end());
  return argv;
}

void ExpectNoValgrindError(const Outcome& run, const TempFolder& scratch) {
  if (!UnderValgrind()) return;
  EXPECT_NE(run.status, kValgrindErrorStatus) << ReadFile(scratch / "valgrind.log");
}

Outcome RunKelvane(const std::vector<std::string>& files, const TempFolder& scratch,
                   const std::string* input) {
  Outcome run = Spawn(KelvaneCommand(files, scratch), scratch, input);
  ExpectNoValgrindError(run, scratch);
  return run;
}

bool RunKelvaneUnprivileged(const std::vector<std::string>& files, const TempFolder& scratch,
                            Outcome* run) {
  std::vector<std::string> argv;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) return false;
    argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  std::vector<std::string> command = KelvaneCommand(files, scratch);
  argv.insert(argv.end(), command.begin(), command.end());
  *run = Spawn(argv, scratch);
  ExpectNoValgrindError(*run, scratch);
  return true;
}

}  // namespace kelvane::testing
