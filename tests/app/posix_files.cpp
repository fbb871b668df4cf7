#include "tests/app/posix_files.h"

#include <dirent.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kelvane::testing {

namespace {

constexpr int kSetUpFailedStatus = 77;

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);  // a test may have made it read-only
    for (const std::string& name : ListFolder(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

ChildResult WaitForChild(pid_t pid) {
  if (pid < 0) return ChildResult::kCannotSetUp;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (!WIFEXITED(status)) return ChildResult::kFailed;
  if (WEXITSTATUS(status) == kSetUpFailedStatus) return ChildResult::kCannotSetUp;
  return WEXITSTATUS(status) == 0 ? ChildResult::kPassed : ChildResult::kFailed;
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kelvane-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
    chmod(path_.c_str(), 0755);
  }
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

bool WriteFile(const std::string& path, const std::string& bytes, mode_t mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return chmod(path.c_str(), mode) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

ChildResult RunUnprivileged(const std::function<bool()>& check) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
        _exit(kSetUpFailedStatus);
      }
    }
    _exit(check() ? 0 : 1);
  }
  return WaitForChild(pid);
}

ChildResult RunWithPrivateMounts(const std::function<bool()>& setup,
                                 const std::function<bool()>& check) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    // Mounts made here vanish with the child's namespace, even after a crash.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !setup()) {
      _exit(kSetUpFailedStatus);
    }
    _exit(check() ? 0 : 1);
  }
  return WaitForChild(pid);
}

}  // namespace kelvane::testing
