// A tiny assertion harness for the Windows-side tests, which run under Wine
// where no GoogleTest is packaged for mingw. A test is a named function; its
// checks record failures, and a test passes when none of its checks failed.
// RunWinTests ends with the plain line "N passed, N failed".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kelvane::wintest {

struct WinTest {
  const char* name;
  void (*run)();
};

// Records a check of the running test; prints what failed. Returns ok.
bool Check(bool ok, const std::string& what);
bool CheckEqual(const std::wstring& got, const std::wstring& want, const std::string& what);
bool CheckEqual(long long got, long long want, const std::string& what);

// Runs every test of every list, prints one line per failed test and the
// summary line; the result is the process exit code.
int RunWinTests(const std::vector<std::vector<WinTest>>& lists);

// Text helpers: bytes of a code page to UTF-16 and back, and UTF-16 to UTF-8
// for printing.
std::wstring Widen(UINT code_page, const std::string& bytes);
std::string Narrow(UINT code_page, const std::wstring& text);
std::string Printable(const std::wstring& text);

// Paths are UTF-8, the form in which kelvane's driver takes them, and reach
// the system through its wide functions; Wide gives the UTF-16 form. An
// absolute path (with backslashes) may be of any length.
std::wstring Wide(const std::string& path);

// A fresh empty folder under the temporary folder (with a trailing
// backslash), removed with everything in it by RemoveTree.
std::string MakeScratchFolder(const char* name);
void RemoveTree(const std::string& folder);

// Whole-file helpers. ReadFileBytes gives "" for a missing file and sets
// *exists when given.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);
bool MakeFolder(const std::string& path);
bool RemoveFile(const std::string& path);
// Names in folder (no subfolders) that match pattern, e.g. "*.tmp".
std::vector<std::string> ListFiles(const std::string& folder, const char* pattern);

}  // namespace kelvane::wintest
