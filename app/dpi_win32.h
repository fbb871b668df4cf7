// Sizes for the DPI a window is shown at. The program declares per-monitor
// DPI awareness, so the system leaves the scaling to it: a size meant for
// 96 DPI is scaled by the program itself.
#pragma once

#include <windows.h>

namespace kelvane {

// The DPI of the monitor the window is on where the system can tell it
// (GetDpiForWindow, Windows 10 1607 and later), else the screen's.
UINT WindowDpi(HWND window);

// A length in pixels at 96 DPI, at dpi.
int ScaleForDpi(int length, UINT dpi);

// The default GUI font at dpi: a new font that the caller deletes, or null.
HFONT CreateGuiFontForDpi(UINT dpi);

}  // namespace kelvane
