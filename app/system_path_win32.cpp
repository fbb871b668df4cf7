// Short paths go to the system as they are, so a relative path keeps its
// meaning and the system's own rules for it. Only a path whose full form does
// not fit MAX_PATH gets the prefix, which switches the system's parsing off:
// the full form has its "." and ".." resolved and its '/' turned into '\'
// first, as the system would have done.

#include "app/system_path_win32.h"

#include <cstring>
#include <cwchar>

#include "app/wtf8.h"
#include "common/heap.h"

namespace kelvane {
namespace {

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "Windows text is UTF-16");

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// The prefixed full form of path: \\?\C:\... or \\?\UNC\server\share\...; null
// when out of memory or when the system cannot make the path absolute.
wchar_t* LongForm(const wchar_t* path, DWORD full_length) {
  // Room for the full path, its NUL and the longer prefix less the "\\" of
  // a UNC path that it replaces.
  const size_t room = full_length + 8;
  wchar_t* out = static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t)));
  if (out == nullptr) return nullptr;
  wchar_t* full = out + 6;  // leaves room for \\?\UNC before the full path
  const DWORD got = GetFullPathNameW(path, static_cast<DWORD>(room - 6), full, nullptr);
  if (got == 0 || got >= room - 6) {
    MemFree(out);
    return nullptr;
  }
  if (StartsWith(full, L"\\\\")) {
    std::memcpy(out, L"\\\\?\\UNC", 7 * sizeof(wchar_t));  // over the first '\'
    return out;
  }
  std::memmove(out + 4, full, (got + 1) * sizeof(wchar_t));
  std::memcpy(out, L"\\\\?\\", 4 * sizeof(wchar_t));
  return out;
}

// Whether path must be given in the long form: its full form does not fit
// MAX_PATH, and it is not already a device or prefixed path. *full_length is
// the size that the full form needs.
bool NeedsLongForm(const wchar_t* path, DWORD* full_length) {
  if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return false;
  *full_length = GetFullPathNameW(path, 0, nullptr, nullptr);
  return *full_length > MAX_PATH;  // the size counts the NUL
}

}  // namespace

SystemPath::SystemPath(const char* path) : path_(nullptr) {
  std::size_t count = 0;
  wchar_t* wide = reinterpret_cast<wchar_t*>(Wtf8ToUtf16(path, &count));
  DWORD full_length = 0;
  if (wide == nullptr || !NeedsLongForm(wide, &full_length)) {
    path_ = wide;
    return;
  }
  wchar_t* long_form = LongForm(wide, full_length);
  // A path that cannot be made absolute goes as it is, for the system to judge.
  if (long_form == nullptr) {
    path_ = wide;
    return;
  }
  MemFree(wide);
  path_ = long_form;
}

SystemPath::~SystemPath() {
  MemFree(path_);
}

HANDLE CreateFileUtf8(const char* path, DWORD access, DWORD share, DWORD disposition,
                      DWORD attributes) {
  const SystemPath system(path);
  if (system.get() == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(system.get(), access, share, nullptr, disposition, attributes, nullptr);
}

DWORD GetFileAttributesUtf8(const char* path) {
  const SystemPath system(path);
  if (system.get() == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesW(system.get());
}

BOOL MoveFileExUtf8(const char* from, const char* to, DWORD flags) {
  const SystemPath system_from(from);
  const SystemPath system_to(to);
  if (system_from.get() == nullptr || system_to.get() == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return MoveFileExW(system_from.get(), system_to.get(), flags);
}

BOOL DeleteFileUtf8(const char* path) {
  const SystemPath system(path);
  if (system.get() == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return DeleteFileW(system.get());
}

}  // namespace kelvane
