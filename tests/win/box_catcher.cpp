#include "tests/win/box_catcher.h"

namespace kelvane::wintest {
namespace {

BoxCatcher* g_catcher = nullptr;

std::wstring WindowText(HWND window) {
  wchar_t text[4096];
  const int n = GetWindowTextW(window, text, 4096);
  return std::wstring(text, n > 0 ? n : 0);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  const int n = GetClassNameW(window, name, 64);
  return std::wstring(name, n > 0 ? n : 0);
}

struct BoxParts {
  std::wstring text;
  HICON icon = nullptr;
  std::vector<int> visible_buttons;
};

BOOL CALLBACK CollectPart(HWND child, LPARAM context) {
  BoxParts* parts = reinterpret_cast<BoxParts*>(context);
  const std::wstring class_name = ClassOf(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(class_name.c_str(), L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      parts->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    } else if (parts->text.empty()) {
      parts->text = WindowText(child);
    }
  } else if (_wcsicmp(class_name.c_str(), L"Button") == 0 && (style & WS_VISIBLE)) {
    parts->visible_buttons.push_back(GetDlgCtrlID(child));
  }
  return TRUE;
}

}  // namespace

BoxCatcher::BoxCatcher(std::function<std::string()> on_box) : on_box_(std::move(on_box)) {
  g_catcher = this;
  hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

BoxCatcher::~BoxCatcher() {
  UnhookWindowsHookEx(hook_);
  g_catcher = nullptr;
}

LRESULT CALLBACK BoxCatcher::HookProc(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && g_catcher != nullptr) {
    HWND window = reinterpret_cast<HWND>(wparam);
    if (ClassOf(window) == L"#32770") g_catcher->Catch(window);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void BoxCatcher::Catch(HWND box) {
  for (HWND seen : seen_) {
    if (seen == box) return;
  }
  seen_.push_back(box);
  BoxParts parts;
  EnumChildWindows(box, CollectPart, reinterpret_cast<LPARAM>(&parts));
  CaughtBox caught;
  caught.caption = WindowText(box);
  caught.text = parts.text;
  caught.warning_icon = parts.icon != nullptr && parts.icon == LoadIconA(nullptr, IDI_WARNING);
  caught.only_ok = parts.visible_buttons == std::vector<int>{IDOK};
  caught.owned = GetWindow(box, GW_OWNER) != nullptr;
  if (on_box_) caught.note = on_box_();
  boxes_.push_back(caught);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

std::wstring BoxText(const std::wstring& message, const std::wstring* path) {
  if (path == nullptr) return message;
  return message + L"\n\n" + *path;
}

}  // namespace kelvane::wintest
