// The Windows entry. With words on the command line it converts each named
// file and ends without a window; with none it opens the drop window.
#include <windows.h>

#include <cstring>

#include "app/command_line.h"
#include "app/convert_file.h"
#include "app/drop_window.h"
#include "app/messages.h"
#include "common/heap.h"

namespace kelvane {
namespace {

constexpr size_t kMaxPathBytes = MAX_PATH - 1;

// A word longer than a Windows path goes to the driver whole, in a block of
// its own: the extension test comes first, as for any word, and the read
// then refuses the path.
void ConvertWord(void*, const char* word, size_t length) {
  char short_path[MAX_PATH] = {};
  char* path = short_path;
  if (length > kMaxPathBytes) {
    path = static_cast<char*>(MemAlloc(length + 1));
    if (path == nullptr) {
      ShowConversionError(kOutOfMemoryMessage, nullptr);
      return;
    }
  }
  memcpy(path, word, length);
  path[length] = '\0';
  ConvertFile(path);
  if (path != short_path) MemFree(path);
}

// The command line without the program name and the blanks after it. The
// name ends at the first byte up to 0x20 outside double quotes; the bytes
// from 0x01 to 0x20 after it are skipped. The start-up code of the C runtime
// would do this too, but it compares signed bytes and so also skips Japanese
// letters at the start of the first word.
const char* CommandLineAfterProgramName(const char* line) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
  bool quoted = false;
  while (*p != 0 && (quoted || *p > 0x20)) {
    if (*p == '"') quoted = !quoted;
    // The second byte of a double-byte character is never a quote or blank.
    if (IsDBCSLeadByte(*p) && p[1] != 0) p++;
    p++;
  }
  while (*p != 0 && *p <= 0x20) p++;
  return reinterpret_cast<const char*>(p);
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
  const char* command_line = kelvane::CommandLineAfterProgramName(GetCommandLineA());
  if (command_line[0] == '\0') {
    return kelvane::RunDropWindow(instance, show);
  }
  kelvane::SplitCommandLine(command_line, kelvane::ConvertWord, nullptr);
  return 0;
}
