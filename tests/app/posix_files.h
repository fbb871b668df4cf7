// Small helpers for the tests that touch real files on POSIX systems: a fresh
// temporary folder per test, whole-file read and write, folder listings, and
// running a check in a child process with fewer rights or its own mounts.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kelvane::testing {

// A new folder under TMPDIR (or /tmp), removed with its contents at the end.
// Open to everyone (0755), so an unprivileged child can reach its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const std::string& bytes, mode_t mode = 0644);
// The whole file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
mode_t ModeOf(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& path);

// Outcome of a check run in a child process.
enum class ChildResult { kPassed, kFailed, kCannotSetUp };

// Runs check in a child process as the user nobody (65534): as root the child
// drops its privileges first, otherwise it runs as the current user, who is
// assumed to be unprivileged already. check returns true when it passed.
ChildResult RunUnprivileged(const std::function<bool()>& check);

// Runs check in a child process in a mount namespace of its own, after setup
// (which may mount file systems there) returned true; kCannotSetUp when the
// namespace or setup is not available (not root, or no CAP_SYS_ADMIN).
ChildResult RunWithPrivateMounts(const std::function<bool()>& setup,
                                 const std::function<bool()>& check);

}  // namespace kelvane::testing
