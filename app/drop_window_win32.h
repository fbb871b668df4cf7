// The drop window: one small fixed window that converts the files dropped
// onto it, one after the other, in the order of the drop.
#pragma once

#include <windows.h>

namespace kelvane {

LRESULT CALLBACK DropWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Registers the window class; false when the system refuses it.
bool RegisterDropWindowClass(HINSTANCE instance);
// Creates the (hidden) drop window of the registered class, or null.
HWND CreateDropWindow(HINSTANCE instance);

}  // namespace kelvane
