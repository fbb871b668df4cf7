// The drop window's class, creation and procedure: one small handler per
// message. The prompt is drawn through the wide text function after
// converting it from code page 932, so it reads right on any Windows, and
// dropped names are taken as UTF-16 and handed on in UTF-8, the driver's form;
// all else stays ANSI.
//
// The window is 320 by 200 at 96 DPI and scales with the DPI of the monitor
// it is on, as does the prompt's font; the DPI is asked of the window itself
// where the system can tell it (Windows 10 1607 and later), and of the screen
// otherwise.
#include "app/drop_window_win32.h"

#include <shellapi.h>

#include "app/convert_file.h"
#include "app/dpi_win32.h"
#include "app/messages.h"
#include "app/wtf8.h"
#include "common/heap.h"

namespace kelvane {
namespace {

constexpr UINT kPromptFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kWindowWidth = 320;  // outer size at 96 DPI
constexpr int kWindowHeight = 200;
constexpr UINT kAllFiles = 0xFFFFFFFF;

// Gives window its outer size at dpi, at (x, y) or where it is.
void SizeForDpi(HWND window, UINT dpi, const POINT* at) {
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (at == nullptr) flags |= SWP_NOMOVE;
  SetWindowPos(window, nullptr, at != nullptr ? at->x : 0, at != nullptr ? at->y : 0,
               ScaleForDpi(kWindowWidth, dpi), ScaleForDpi(kWindowHeight, dpi), flags);
}

// The window is made at its 96-DPI size; only now is its monitor known.
LRESULT OnCreate(HWND window) {
  SizeForDpi(window, WindowDpi(window), nullptr);
  return 0;
}

// Moved to a monitor of another DPI, or the scale changed: the window keeps
// the place that the system suggests and takes its size at the new DPI.
LRESULT OnDpiChanged(HWND window, WPARAM wparam, LPARAM lparam) {
  const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
  const POINT at = {suggested->left, suggested->top};
  SizeForDpi(window, HIWORD(wparam), &at);
  InvalidateRect(window, nullptr, TRUE);
  return 0;
}

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
  HFONT font = CreateGuiFontForDpi(WindowDpi(window));
  HGDIOBJ kept_font = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  SetBkMode(dc, TRANSPARENT);
  DrawPrompt(dc, &area);
  SelectObject(dc, kept_font);
  if (font != nullptr) DeleteObject(font);
  EndPaint(window, &paint);
  return DefWindowProcA(window, WM_PAINT, wparam, lparam);
}

// Converts the index-th dropped file. Its name is asked for its length
// first, so a name of any length comes whole.
void ConvertDroppedFile(HDROP drop, UINT index) {
  const UINT length = DragQueryFileW(drop, index, nullptr, 0);
  wchar_t* name = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
  char* path = nullptr;
  if (name != nullptr) {
    const UINT got = DragQueryFileW(drop, index, name, length + 1);
    path = Utf16ToWtf8(reinterpret_cast<const uint16_t*>(name), got <= length ? got : 0);
    MemFree(name);
  }
  if (path == nullptr) {
    ShowConversionError(kOutOfMemoryMessage, nullptr);
    return;
  }
  ConvertFile(path);
  MemFree(path);
}

// Converts each dropped file in the order of the drop. A message box of a
// failed file may dispatch another drop into this handler meanwhile, so all
// state is local.
LRESULT OnDropFiles(HWND window, WPARAM wparam, LPARAM lparam) {
  HDROP drop = reinterpret_cast<HDROP>(wparam);
  const UINT count = DragQueryFileW(drop, kAllFiles, nullptr, 0);
  for (UINT i = 0; i < count; i++) ConvertDroppedFile(drop, i);
  DragFinish(drop);
  return DefWindowProcA(window, WM_DROPFILES, wparam, lparam);
}

}  // namespace

LRESULT CALLBACK DropWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DPICHANGED:
      return OnDpiChanged(window, wparam, lparam);
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
