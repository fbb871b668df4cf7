// GetDpiForWindow is looked up at run time, so kelvane.exe still starts on a
// Windows that lacks it.

#include "app/dpi_win32.h"

namespace kelvane {
namespace {

constexpr UINT kBaseDpi = 96;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

GetDpiForWindowFn FindGetDpiForWindow() {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  // The address is the function's; it only comes back typeless.
  return reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
}

// The screen's DPI: the system DPI, which the stock fonts are made for.
UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const GetDpiForWindowFn get_dpi_for_window = FindGetDpiForWindow();
  const UINT dpi = get_dpi_for_window != nullptr ? get_dpi_for_window(window) : 0;
  return dpi != 0 ? dpi : ScreenDpi();
}

int ScaleForDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), kBaseDpi);
}

HFONT CreateGuiFontForDpi(UINT dpi) {
  LOGFONTW font;
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font) != sizeof(font)) {
    return nullptr;
  }
  font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
  font.lfWidth = 0;
  return CreateFontIndirectW(&font);
}

}  // namespace kelvane
