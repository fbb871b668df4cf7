// The paths kelvane gives the system: Wine opens long paths without the
// \\?\ prefix, so the form is checked here, as Windows needs it.
#include <windows.h>

#include <string>
#include <vector>

#include "app/system_path_win32.h"
#include "tests/win/win_check.h"
#include "tests/win/win_tests.h"

namespace kelvane::wintest {
namespace {

std::wstring Current() {
  wchar_t folder[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring text(folder, n);
  if (text.back() != L'\\') text += L'\\';
  return text;
}

struct SystemPathRow {
  const char* name;
  std::wstring path;
  std::wstring want;
};

void LongPathsGetThePrefix() {
  const std::wstring part(100, L'長');
  const std::wstring here = Current();
  const std::wstring long_name = part + L"\\" + part + L"\\" + part + L".htm";
  const SystemPathRow rows[] = {
      {"a short relative path stays as it is", L"a/../b.htm", L"a/../b.htm"},
      {"a short name outside cp932 stays as it is", L"한국어😀.htm", L"한국어😀.htm"},
      {"a long absolute path gets the prefix", L"C:\\" + long_name, L"\\\\?\\C:\\" + long_name},
      {"a long relative path is made absolute first",
       part + L"/x/../" + part + L"/" + part + L".htm", L"\\\\?\\" + here + long_name},
      {"a long UNC path gets the UNC prefix", L"\\\\server\\share\\" + long_name,
       L"\\\\?\\UNC\\server\\share\\" + long_name},
      {"a prefixed path stays as it is", L"\\\\?\\C:\\" + long_name + L"/x",
       L"\\\\?\\C:\\" + long_name + L"/x"},
      {"the exact limit stays as it is", L"C:\\" + std::wstring(256, L'a'),
       L"C:\\" + std::wstring(256, L'a')},
      {"one past the limit gets the prefix", L"C:\\" + std::wstring(257, L'a'),
       L"\\\\?\\C:\\" + std::wstring(257, L'a')},
  };
  for (const SystemPathRow& row : rows) {
    const SystemPath system(Narrow(CP_UTF8, row.path).c_str());
    if (!Check(system.get() != nullptr, std::string(row.name) + ": converted")) continue;
    CheckEqual(system.get(), row.want, row.name);
  }
}

}  // namespace

std::vector<WinTest> SystemPathWinTests() {
  return {{"long paths get the prefix", LongPathsGetThePrefix}};
}

}  // namespace kelvane::wintest
