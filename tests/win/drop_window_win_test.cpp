// The drop window in-process: drops simulated with a DROPFILES block sent to
// the window, the painted prompt read back from the screen, and the quit
// message on destruction.
#include <shlobj.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/drop_window_win32.h"
#include "tests/win/box_catcher.h"
#include "tests/win/win_check.h"
#include "tests/win/win_tests.h"

namespace kelvane::wintest {
namespace {

std::string GoodPage() {
  return Narrow(932, L"<body>\n<p>ドロップ</p>\n</body>\n");
}

// The window of the class, created once for all the tests of this file.
HWND DropWindow() {
  static HWND window = nullptr;
  if (window == nullptr) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (RegisterDropWindowClass(instance)) window = CreateDropWindow(instance);
  }
  return window;
}

// A drop handle as the shell makes it: DROPFILES followed by the names, each
// NUL-terminated, and a final NUL.
template <typename Char>
HGLOBAL MakeDrop(const std::vector<std::basic_string<Char>>& names) {
  size_t units = 1;
  for (const auto& name : names) units += name.size() + 1;
  HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(Char));
  char* block = static_cast<char*>(GlobalLock(drop));
  DROPFILES* header = reinterpret_cast<DROPFILES*>(block);
  header->pFiles = sizeof(DROPFILES);
  header->fWide = sizeof(Char) == 2;
  Char* out = reinterpret_cast<Char*>(block + sizeof(DROPFILES));
  for (const auto& name : names) {
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(Char));
    out += name.size() + 1;
  }
  GlobalUnlock(drop);
  return drop;
}

void WindowIsCreated() {
  Check(DropWindow() != nullptr, "class registered and window created");
}

// Three files dropped: a failing one, a good one, a failing one. The boxes come
// in drop order, and the good file is converted between them.
void ThreeDroppedFilesConvertInOrder() {
  const std::string folder = MakeScratchFolder("kelvane-drop");
  const std::wstring shown = Wide(folder);
  WriteFileBytes(folder + "first.txt", "not html");
  WriteFileBytes(folder + "middle.htm", GoodPage());
  const std::string middle_output = folder + "middle.txt";
  BoxCatcher catcher([&] { return std::string(FileExists(middle_output) ? "middle done" : ""); });
  HGLOBAL drop = MakeDrop<char>({folder + "first.txt", folder + "middle.htm", folder + "last.htm"});
  SendMessageA(DropWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);

  CheckEqual(static_cast<long long>(catcher.boxes().size()), 2, "boxes shown");
  if (catcher.boxes().size() == 2) {
    const std::wstring first = shown + L"first.txt";
    const std::wstring last = shown + L"last.htm";
    CheckEqual(catcher.boxes()[0].text, BoxText(L"HTMLファイルではありません：", &first),
               "first box");
    Check(catcher.boxes()[0].note.empty(), "middle file not yet converted at the first box");
    CheckEqual(catcher.boxes()[1].text, BoxText(L"ファイルが開けません：", &last), "second box");
    Check(catcher.boxes()[1].note == "middle done", "middle file converted before the last");
  }
  Check(FileExists(middle_output), "middle file converted");
  // DragFinish has released the drop block.
  CheckEqual(GlobalFlags(drop), GMEM_INVALID_HANDLE, "drop handle released");
  RemoveTree(folder);
}

// A drop whose names come as UTF-16: names outside code page 932 and a path
// of more than 300 characters reach the converter whole, and give the text
// that a plain name gives. A missing one shows as Windows spells it.
void WideDropNamesReachTheConverterWhole() {
  const std::string folder = MakeScratchFolder("kelvane-wdrop");
  std::wstring deep = Wide(folder);
  while (deep.size() <= 300) {
    deep += std::wstring(60, L'深') + L"\\";
    MakeFolder(Narrow(CP_UTF8, deep));
  }
  const std::wstring shown = Wide(folder);
  const std::vector<std::wstring> names = {shown + L"ページ.htm", shown + L"한국어.html",
                                           shown + L"café ♡.htm", shown + L"絵文字😀.htm",
                                           deep + L"長い.htm"};
  for (const std::wstring& name : names) WriteFileBytes(Narrow(CP_UTF8, name), GoodPage());
  WriteFileBytes(folder + "plain.htm", GoodPage());
  BoxCatcher catcher;
  std::vector<std::wstring> dropped = names;
  dropped.push_back(shown + L"ない😀.htm");
  dropped.insert(dropped.begin(), shown + L"plain.htm");
  HGLOBAL drop = MakeDrop<wchar_t>(dropped);
  SendMessageW(DropWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  const std::string plain = ReadFileBytes(folder + "plain.txt");
  Check(!plain.empty(), "plain name converted");
  for (const std::wstring& name : names) {
    const std::string output = Narrow(CP_UTF8, name.substr(0, name.rfind(L'.')) + L".txt");
    Check(ReadFileBytes(output) == plain, "converted as a plain name: " + Printable(name));
  }
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 1, "boxes shown");
  const std::wstring missing = dropped.back();
  if (catcher.boxes().size() == 1) {
    CheckEqual(catcher.boxes()[0].text, BoxText(L"ファイルが開けません：", &missing),
               "box of the missing file");
  }
  RemoveTree(folder);
}

struct InkBounds {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
};

// The bounds of every pixel of the client area that differs from the
// background, read back from the screen.
InkBounds FindInk(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  InkBounds ink;
  for (int y = 0; y < client.bottom; y++) {
    for (int x = 0; x < client.right; x++) {
      if (GetPixel(dc, x, y) == background) continue;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  ReleaseDC(window, dc);
  return ink;
}

// The prompt is painted centred, one line, as wide as the Japanese text in
// the default GUI font: its bytes were read as code page 932.
void PromptIsPaintedCentred() {
  HWND window = DropWindow();
  ShowWindow(window, SW_SHOWNOACTIVATE);
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  GdiFlush();
  RECT client;
  GetClientRect(window, &client);
  const InkBounds ink = FindInk(window);
  Check(ink.right >= 0, "something is painted");

  HDC dc = GetDC(window);
  HGDIOBJ kept = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring prompt = L"ここにHTMLファイルをドラッグ＆ドロップ";
  SIZE extent;
  GetTextExtentPoint32W(dc, prompt.c_str(), static_cast<int>(prompt.size()), &extent);
  SelectObject(dc, kept);
  ReleaseDC(window, dc);

  const int ink_width = ink.right - ink.left + 1;
  Check(ink_width <= extent.cx && ink_width >= extent.cx - 6,
        "painted width " + std::to_string(ink_width) + " matches the prompt's " +
            std::to_string(extent.cx));
  Check(ink.bottom - ink.top < extent.cy, "painted on one line");
  const int centre_x2 = ink.left + ink.right + 1;
  const int centre_y2 = ink.top + ink.bottom + 1;
  Check(std::abs(centre_x2 - client.right) <= 4, "centred across");
  Check(std::abs(centre_y2 - client.bottom) <= extent.cy / 2 + 2, "centred down");
  ShowWindow(window, SW_HIDE);
}

void DestroyingTheWindowPostsQuitZero() {
  DestroyWindow(DropWindow());
  MSG message;
  const bool quit = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  Check(quit, "WM_QUIT posted");
  if (quit) CheckEqual(static_cast<long long>(message.wParam), 0, "exit code in WM_QUIT");
}

}  // namespace

std::vector<WinTest> DropWindowWinTests() {
  return {
      {"window is created", WindowIsCreated},
      {"three dropped files convert in order", ThreeDroppedFilesConvertInOrder},
      {"wide drop names reach the converter whole", WideDropNamesReachTheConverterWhole},
      {"prompt is painted centred", PromptIsPaintedCentred},
      {"destroying the window posts quit 0", DestroyingTheWindowPostsQuitZero},
  };
}

}  // namespace kelvane::wintest
