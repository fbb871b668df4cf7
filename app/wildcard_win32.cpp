// The matching names are all gathered before the first file is converted, so
// the outputs that the conversions add to the folder are never matched
// themselves. The names are kept as UTF-16 in one buffer, each behind a zero,
// and sorted by their offsets: case-insensitively, as Explorer lists them,
// and by the exact units where two names differ only in case.

#include "app/wildcard_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "app/system_path_win32.h"
#include "app/wtf8.h"
#include "common/buffers.h"
#include "common/heap.h"

namespace kelvane {
namespace {

// The names found, one after the other, each ending in a zero unit.
struct FoundNames {
  WideBuffer units;
  TextBuffer offsets;  // uint32_t offsets into units, one a name
  uint32_t count;
};

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool AddName(FoundNames* found, const wchar_t* name) {
  const uint32_t offset = found->units.count;
  const uint32_t length = static_cast<uint32_t>(std::wcslen(name));
  if (!AppendBytes(&found->offsets, reinterpret_cast<const char*>(&offset), sizeof(offset)) ||
      !ReserveWideBuffer(&found->units, length + 1)) {
    return false;
  }
  std::memcpy(found->units.data + found->units.count, name, (length + 1) * sizeof(wchar_t));
  found->units.count += length + 1;
  found->count++;
  return true;
}

// Adds every file that the pattern matches; false when out of memory.
bool FindNames(const char* pattern, FoundNames* found) {
  const SystemPath system(pattern);
  if (system.get() == nullptr) return false;
  WIN32_FIND_DATAW data;
  HANDLE search =
      FindFirstFileExW(system.get(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotName(data.cFileName)) continue;
    ok = AddName(found, data.cFileName);
  } while (ok && FindNextFileW(search, &data));
  FindClose(search);
  return ok;
}

struct NameOrder {
  const wchar_t* units;
  bool operator()(uint32_t a, uint32_t b) const {
    const int folded = CompareStringOrdinal(units + a, -1, units + b, -1, TRUE);
    if (folded != CSTR_EQUAL) return folded == CSTR_LESS_THAN;
    return std::wcscmp(units + a, units + b) < 0;
  }
};

// Length of the folder part of pattern, its last separator included.
std::size_t FolderLength(const char* pattern) {
  std::size_t end = 0;
  for (std::size_t i = 0; pattern[i] != '\0'; i++) {
    if (pattern[i] == '\\' || pattern[i] == '/' || pattern[i] == ':') end = i + 1;
  }
  return end;
}

// Calls on_file with the folder followed by the name; false when out of memory.
bool CallWithPath(const char* folder, std::size_t folder_length, const wchar_t* name,
                  void (*on_file)(const char* path)) {
  char* name_text = Utf16ToWtf8(reinterpret_cast<const uint16_t*>(name), std::wcslen(name));
  if (name_text == nullptr) return false;
  const std::size_t name_length = std::strlen(name_text);
  char* path = static_cast<char*>(MemAlloc(folder_length + name_length + 1));
  if (path != nullptr) {
    std::memcpy(path, folder, folder_length);
    std::memcpy(path + folder_length, name_text, name_length + 1);
    on_file(path);
  }
  MemFree(name_text);
  MemFree(path);
  return path != nullptr;
}

void ReleaseNames(FoundNames* found) {
  ReleaseWideBuffer(&found->units);
  ReleaseTextBuffer(&found->offsets);
}

}  // namespace

bool HasWildcard(const char* word) {
  if (std::strncmp(word, "\\\\?\\", 4) == 0 || std::strncmp(word, "\\\\.\\", 4) == 0) word += 4;
  return std::strpbrk(word, "*?") != nullptr;
}

int ExpandWildcard(const char* pattern, void (*on_file)(const char* path)) {
  FoundNames found;
  InitWideBuffer(&found.units);
  InitTextBuffer(&found.offsets);
  found.count = 0;
  if (found.units.data == nullptr || found.offsets.data == nullptr || !FindNames(pattern, &found)) {
    ReleaseNames(&found);
    return -1;
  }
  uint32_t* offsets = reinterpret_cast<uint32_t*>(found.offsets.data);
  const wchar_t* units = reinterpret_cast<const wchar_t*>(found.units.data);
  std::sort(offsets, offsets + found.count, NameOrder{units});
  const std::size_t folder_length = FolderLength(pattern);
  uint32_t called = 0;
  while (called < found.count &&
         CallWithPath(pattern, folder_length, units + offsets[called], on_file)) {
    called++;
  }
  ReleaseNames(&found);
  return called == found.count ? static_cast<int>(called) : -1;
}

}  // namespace kelvane
