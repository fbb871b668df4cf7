// Catches the message boxes that this thread shows, through a WH_CBT hook: when
// a box becomes active, its caption, text, icon and buttons are recorded and
// the box is dismissed with OK. So a test never waits on a box.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kelvane::wintest {

struct CaughtBox {
  std::wstring caption;
  std::wstring text;
  bool warning_icon;  // the icon is the system's warning (exclamation) icon
  bool only_ok;       // OK is the one visible button
  bool owned;         // the box has an owner window
  std::string note;   // what the catcher's callback returned for this box
};

// Installs the hook for its lifetime. on_box, when given, runs while each box
// is open and its result is kept in the box's note.
class BoxCatcher {
 public:
  explicit BoxCatcher(std::function<std::string()> on_box = nullptr);
  ~BoxCatcher();
  BoxCatcher(const BoxCatcher&) = delete;
  BoxCatcher& operator=(const BoxCatcher&) = delete;

  const std::vector<CaughtBox>& boxes() const { return boxes_; }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wparam, LPARAM lparam);
  void Catch(HWND box);

  HHOOK hook_;
  std::vector<HWND> seen_;  // a box activated twice is caught once
  std::function<std::string()> on_box_;
  std::vector<CaughtBox> boxes_;
};

// What a message box of kelvane should read: the message (given as the
// intended Japanese text), two line feeds and the path, when there is one.
std::wstring BoxText(const std::wstring& message, const std::wstring* path);

}  // namespace kelvane::wintest
