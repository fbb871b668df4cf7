// The drop window's class, creation and procedure: one small handler per
// message. The prompt is drawn through the wide text function after
// converting it from code page 932, so it reads right on any Windows; all
// else stays ANSI.
#include "app/drop_window.h"

#include <shellapi.h>

#include "app/convert_file.h"
#include "app/messages.h"

namespace kelvane {
namespace {

constexpr UINT kShiftJisCodePage = 932;
constexpr UINT kPromptFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 200;
constexpr UINT kAllFiles = 0xFFFFFFFF;

LRESULT OnDestroy() {
  PostQuitMessage(0);
  return 0;
}

void DrawPrompt(HDC dc, RECT* area) {
  wchar_t prompt[64];
  if (MultiByteToWideChar(kShiftJisCodePage, 0, kDropPrompt, -1, prompt, 64) == 0) return;
  DrawTextW(dc, prompt, -1, area, kPromptFormat);
}

LRESULT OnPaint(HWND window, WPARAM wparam, LPARAM lparam) {
  RECT area;
  GetClientRect(window, &area);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  HGDIOBJ kept_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  SetBkMode(dc, TRANSPARENT);
  DrawPrompt(dc, &area);
  SelectObject(dc, kept_font);
  EndPaint(window, &paint);
  return DefWindowProcA(window, WM_PAINT, wparam, lparam);
}

// Converts each dropped file in the order of the drop. A message box of a
// failed file may dispatch another drop into this handler meanwhile, so all
// state is local.
LRESULT OnDropFiles(HWND window, WPARAM wparam, LPARAM lparam) {
  HDROP drop = reinterpret_cast<HDROP>(wparam);
  const UINT count = DragQueryFileA(drop, kAllFiles, nullptr, 0);
  for (UINT i = 0; i < count; i++) {
    char path[MAX_PATH] = {};
    DragQueryFileA(drop, i, path, MAX_PATH);
    ConvertFile(path);
  }
  DragFinish(drop);
  return DefWindowProcA(window, WM_DROPFILES, wparam, lparam);
}

}  // namespace

LRESULT CALLBACK DropWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      return OnDestroy();
    case WM_PAINT:
      return OnPaint(window, wparam, lparam);
    case WM_DROPFILES:
      return OnDropFiles(window, wparam, lparam);
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

bool RegisterDropWindowClass(HINSTANCE instance) {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = 0;
  window_class.lpfnWndProc = DropWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClassName;
  return RegisterClassExA(&window_class) != 0;
}

HWND CreateDropWindow(HINSTANCE instance) {
  return CreateWindowExA(WS_EX_ACCEPTFILES, kWindowClassName, kProgramCaption, kWindowStyle,
                         CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr,
                         nullptr, instance, nullptr);
}

}  // namespace kelvane
