// The Windows entry. With words on the command line it converts each named
// file and ends without a window; with none it opens the drop window.
//
// The command line is read as UTF-16 and carried as UTF-8 (WTF-8), the form
// in which the driver takes paths. The rules that split it look only at the
// blank, the double quote and the units up to 0x20, none of which occurs
// inside a multi-byte UTF-8 character, so the words are those of the UTF-16
// line unit for unit.
#include <windows.h>

#include <cstring>

#include "app/command_line.h"
#include "app/convert_file.h"
#include "app/drop_window_win32.h"
#include "app/messages.h"
#include "app/wildcard_win32.h"
#include "app/wtf8.h"
#include "common/heap.h"

namespace kelvane {
namespace {

void ConvertMatch(const char* path) {
  ConvertFile(path);
}

// A pattern converts each file it matches, as if each were named; one that
// matches nothing is reported as a file that cannot be opened.
void ConvertPattern(const char* pattern) {
  const int matched = ExpandWildcard(pattern, ConvertMatch);
  if (matched == 0) ShowConversionError(kCannotOpenMessage, pattern);
  if (matched < 0) ShowConversionError(kOutOfMemoryMessage, pattern);
}

// Each word goes to the driver whole, in a block of its own.
void ConvertWord(void*, const char* word, size_t length) {
  char* path = static_cast<char*>(MemAlloc(length + 1));
  if (path == nullptr) {
    ShowConversionError(kOutOfMemoryMessage, nullptr);
    return;
  }
  memcpy(path, word, length);
  path[length] = '\0';
  if (HasWildcard(path)) {
    ConvertPattern(path);
  } else {
    ConvertFile(path);
  }
  MemFree(path);
}

// The command line without the program name and the blanks after it. The
// name ends at the first unit up to 0x20 outside double quotes; the units
// from 0x01 to 0x20 after it are skipped. Every byte of a multi-byte UTF-8
// character is above 0x20, so these rules hold for the UTF-8 line as well.
const char* CommandLineAfterProgramName(const char* line) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
  bool quoted = false;
  while (*p != 0 && (quoted || *p > 0x20)) {
    if (*p == '"') quoted = !quoted;
    p++;
  }
  while (*p != 0 && *p <= 0x20) p++;
  return reinterpret_cast<const char*>(p);
}

// The process command line in UTF-8, a new block; null when out of memory.
char* CommandLineUtf8() {
  const wchar_t* line = GetCommandLineW();
  return Utf16ToWtf8(reinterpret_cast<const uint16_t*>(line), wcslen(line));
}

// The message loop of the window run; its result is the exit code.
int RunDropWindow(HINSTANCE instance, int show) {
  if (!RegisterDropWindowClass(instance)) return 1;
  HWND window = CreateDropWindow(instance);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace kelvane

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  char* line = kelvane::CommandLineUtf8();
  if (line == nullptr) {
    kelvane::ShowConversionError(kelvane::kOutOfMemoryMessage, nullptr);
    return 1;
  }
  const char* words = kelvane::CommandLineAfterProgramName(line);
  int result = 0;
  if (words[0] == '\0') {
    result = kelvane::RunDropWindow(instance, show);
  } else {
    kelvane::SplitCommandLine(words, kelvane::ConvertWord, nullptr);
  }
  kelvane::MemFree(line);
  return result;
}
