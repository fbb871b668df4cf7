// The Windows file functions on the driver's paths. A path travels through the
// driver as UTF-8 (WTF-8, app/wtf8.h) and meets the system here, as UTF-16 in
// the form that the system opens at any length: a path whose full form is
// longer than the classic limit is made absolute and given the \\?\ prefix,
// so it opens even where the system's long-path policy is off.
//
// Each function behaves like the wide function that it names; when out of
// memory it fails with ERROR_NOT_ENOUGH_MEMORY.
#pragma once

#include <windows.h>

namespace kelvane {

// The UTF-16 path that the system is given for path, owned for the object's
// lifetime; get() is null when out of memory.
class SystemPath {
 public:
  explicit SystemPath(const char* path);
  ~SystemPath();
  SystemPath(const SystemPath&) = delete;
  SystemPath& operator=(const SystemPath&) = delete;

  const wchar_t* get() const { return path_; }

 private:
  wchar_t* path_;
};

HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD share, DWORD disposition,
                      DWORD attributes);
DWORD GetFileAttributesUtf8(const char* path);
BOOL MoveFileExUtf8(const char* from, const char* to, DWORD flags);
BOOL DeleteFileUtf8(const char* path);

}  // namespace kelvane
