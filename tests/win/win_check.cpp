#include "tests/win/win_check.h"

#include <cstdio>

namespace kelvane::wintest {
namespace {

int g_failed_checks = 0;

}  // namespace

bool Check(bool ok, const std::string& what) {
  if (!ok) {
    ++g_failed_checks;
    std::printf("    check failed: %s\n", what.c_str());
  }
  return ok;
}

bool CheckEqual(const std::wstring& got, const std::wstring& want, const std::string& what) {
  return Check(got == want,
               what + ": got \"" + Printable(got) + "\", want \"" + Printable(want) + "\"");
}

bool CheckEqual(long long got, long long want, const std::string& what) {
  return Check(got == want,
               what + ": got " + std::to_string(got) + ", want " + std::to_string(want));
}

int RunWinTests(const std::vector<std::vector<WinTest>>& lists) {
  int passed = 0;
  int failed = 0;
  for (const std::vector<WinTest>& list : lists) {
    for (const WinTest& test : list) {
      const int before = g_failed_checks;
      test.run();
      if (g_failed_checks == before) {
        ++passed;
      } else {
        ++failed;
        std::printf("FAILED %s\n", test.name);
      }
      std::fflush(stdout);
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

std::wstring Widen(UINT code_page, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(n, L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::string Narrow(UINT code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  return bytes;
}

std::string Printable(const std::wstring& text) {
  std::wstring shown;
  for (wchar_t c : text) {
    if (c == L'\n') {
      shown += L"\\n";
    } else if (c == L'\t') {
      shown += L"\\t";
    } else {
      shown += c;
    }
  }
  return Narrow(CP_UTF8, shown);
}

std::wstring Wide(const std::string& path) {
  return Widen(CP_UTF8, path);
}

namespace {

// An absolute path past the classic limit goes with the \\?\ prefix.
std::wstring ForSystem(const std::string& path) {
  if (path.size() < MAX_PATH || path.size() < 3 || path[1] != ':') return Wide(path);
  return L"\\\\?\\" + Wide(path);
}

}  // namespace

std::string MakeScratchFolder(const char* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::string folder =
      Narrow(CP_UTF8, temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "\\";
  RemoveTree(folder);
  CreateDirectoryW(ForSystem(folder).c_str(), nullptr);
  return folder;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(ForSystem(folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = Narrow(CP_UTF8, found.cFileName);
      if (name == "." || name == "..") continue;
      const std::string path = folder + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        SetFileAttributesW(ForSystem(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(ForSystem(path).c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(ForSystem(folder).c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(ForSystem(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::string ReadFileBytes(const std::string& path, bool* exists) {
  HANDLE file = CreateFileW(ForSystem(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (exists != nullptr) *exists = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  if (!bytes.empty())
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(ForSystem(path).c_str()) != 0;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(ForSystem(path).c_str(), nullptr) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(ForSystem(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFiles(const std::string& folder, const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(ForSystem(folder + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      names.push_back(Narrow(CP_UTF8, found.cFileName));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

}  // namespace kelvane::wintest
