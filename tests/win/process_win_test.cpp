// kelvane.exe as a user starts it: exact command lines given to CreateProcessA
// or CreateProcessW (the Wine launcher would re-quote Unix arguments), and the
// drop window seen from outside. Boxes of the child are found by polling its top-level windows,
// read, and dismissed with OK, so no test waits on a box.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/box_catcher.h"
#include "tests/win/win_check.h"

namespace kelvane::wintest {
namespace {

constexpr DWORD kRunTimeoutMs = 30000;
constexpr DWORD kPollMs = 10;

std::string g_program;  // kelvane.exe under test, as a Windows path
std::string g_folder;   // the children's working folder (UTF-8)

struct Box {
  std::wstring caption;
  std::wstring text;
};

struct ChildRun {
  bool started = false;
  bool finished = false;
  DWORD exit_code = 0;
  std::vector<Box> boxes;
};

std::wstring TextOf(HWND window) {
  wchar_t text[4096];
  const int n = GetWindowTextW(window, text, 4096);
  return std::wstring(text, n > 0 ? n : 0);
}

bool IsClass(HWND window, const char* name) {
  char class_name[64];
  return GetClassNameA(window, class_name, 64) > 0 && lstrcmpiA(class_name, name) == 0;
}

struct Search {
  DWORD process_id;
  const char* class_name;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || !IsWindowVisible(window)) return TRUE;
  if (!IsClass(window, search->class_name)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindVisibleWindow(DWORD process_id, const char* class_name) {
  Search search = {process_id, class_name, nullptr};
  EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK FindBoxText(HWND child, LPARAM context) {
  if (!IsClass(child, "Static")) return TRUE;
  std::wstring text = TextOf(child);
  if (text.empty()) return TRUE;
  *reinterpret_cast<std::wstring*>(context) = text;
  return FALSE;
}

// Reads the box, presses OK and waits until the box is gone.
Box DismissBox(HWND box) {
  Box read;
  read.caption = TextOf(box);
  EnumChildWindows(box, FindBoxText, reinterpret_cast<LPARAM>(&read.text));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (DWORD waited = 0; IsWindow(box) && waited < kRunTimeoutMs; waited += kPollMs) {
    Sleep(kPollMs);
  }
  return read;
}

// How the command line is handed over: as ANSI bytes, which can spell only
// what code page 932 has, or as UTF-16.
enum class LineForm { kAnsi, kWide };

bool Start(const std::wstring& command_line, LineForm form, PROCESS_INFORMATION* process) {
  if (form == LineForm::kWide) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring line = command_line;
    return CreateProcessW(Wide(g_program).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          Wide(g_folder).c_str(), &startup, process);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::string line = Narrow(CP_ACP, command_line);
  return CreateProcessA(g_program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Narrow(CP_ACP, Wide(g_folder)).c_str(), &startup, process);
}

void Finish(PROCESS_INFORMATION* process, ChildRun* run) {
  run->finished = WaitForSingleObject(process->hProcess, kRunTimeoutMs) == WAIT_OBJECT_0;
  if (!run->finished) TerminateProcess(process->hProcess, 99);
  GetExitCodeProcess(process->hProcess, &run->exit_code);
  CloseHandle(process->hThread);
  CloseHandle(process->hProcess);
}

// Runs kelvane.exe with command_line, dismissing every box it shows.
ChildRun RunWithBoxes(const std::wstring& command_line, LineForm form) {
  ChildRun run;
  PROCESS_INFORMATION process;
  run.started = Start(command_line, form, &process);
  if (!run.started) return run;
  for (DWORD waited = 0; waited < kRunTimeoutMs; waited += kPollMs) {
    HWND box = FindVisibleWindow(process.dwProcessId, "#32770");
    if (box != nullptr) {
      run.boxes.push_back(DismissBox(box));
      continue;
    }
    if (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) break;
  }
  Finish(&process, &run);
  return run;
}

struct WantBox {
  const wchar_t* message;
  std::wstring path;
};

const wchar_t kNotHtml[] = L"HTMLファイルではありません：";
const wchar_t kCannotOpen[] = L"ファイルが開けません：";

struct CommandLineRow {
  const char* name;
  std::wstring command_line;  // whole, program name included
  std::vector<WantBox> boxes;
  std::vector<std::wstring> outputs;  // files that must exist afterwards
};

void CheckRow(const CommandLineRow& row, LineForm form) {
  const std::string what = row.name;
  for (const std::wstring& output : row.outputs) RemoveFile(g_folder + Narrow(CP_UTF8, output));
  const ChildRun run = RunWithBoxes(row.command_line, form);
  if (!Check(run.started, what + ": started")) return;
  Check(run.finished, what + ": finished");
  CheckEqual(run.exit_code, 0, what + ": exit code");
  CheckEqual(static_cast<long long>(run.boxes.size()), static_cast<long long>(row.boxes.size()),
             what + ": boxes shown");
  for (size_t i = 0; i < run.boxes.size() && i < row.boxes.size(); i++) {
    const std::string which = what + ": box " + std::to_string(i + 1);
    CheckEqual(run.boxes[i].caption, L"kelvane", which + " caption");
    CheckEqual(run.boxes[i].text, BoxText(row.boxes[i].message, &row.boxes[i].path),
               which + " text");
  }
  for (const std::wstring& output : row.outputs) {
    Check(FileExists(g_folder + Narrow(CP_UTF8, output)), what + ": wrote " + Printable(output));
  }
}

std::string GoodPage() {
  return Narrow(932, L"<body>\n<p>コマンドライン</p>\n</body>\n");
}

void CommandLinesSplitExactly() {
  MakeFolder(g_folder + "my files");
  WriteFileBytes(g_folder + "my files\\page.htm", GoodPage());
  WriteFileBytes(g_folder + Narrow(CP_UTF8, L"日本語.htm"), GoodPage());
  const std::wstring long_word = std::wstring(300, L'a') + L".htm";
  const std::wstring long_text_word = std::wstring(300, L'a') + L".txt";
  const CommandLineRow rows[] = {
      {"several blanks count as one",
       L"kelvane.exe one.txt   two.txt",
       {{kNotHtml, L"one.txt"}, {kNotHtml, L"two.txt"}},
       {}},
      {"quoted path with blanks is one word",
       L"kelvane.exe \"my files\\page.htm\"",
       {},
       {L"my files\\page.txt"}},
      {"unterminated quote ends the line",
       L"kelvane.exe one.txt \"two.txt three.txt",
       {{kNotHtml, L"one.txt"}},
       {}},
      {"tab inside a word", L"kelvane.exe one.txt\ttwo.txt", {{kNotHtml, L"one.txt\ttwo.txt"}}, {}},
      {"quote inside a word", L"kelvane.exe a\"b.txt", {{kNotHtml, L"a\"b.txt"}}, {}},
      {"empty quotes give an empty path", L"kelvane.exe \"\"", {{kNotHtml, L""}}, {}},
      {"quoted word then plain word",
       L"kelvane.exe \"one.txt\"two.txt",
       {{kNotHtml, L"one.txt"}, {kNotHtml, L"two.txt"}},
       {}},
      {"a missing word over 259 bytes cannot be opened",
       L"kelvane.exe " + long_word,
       {{kCannotOpen, long_word}},
       {}},
      {"word over 259 bytes still gets the extension test first",
       L"kelvane.exe " + long_text_word,
       {{kNotHtml, long_text_word}},
       {}},
      {"Japanese names pass in ANSI",
       L"kelvane.exe 日本語.htm ない.htm",
       {{kCannotOpen, L"ない.htm"}},
       {L"日本語.txt"}},
      {"quoted program name with blanks",
       L"\"C:\\Program Files\\kel vane.exe\" one.txt",
       {{kNotHtml, L"one.txt"}},
       {}},
      {"tabs after the program name are skipped",
       L"kelvane.exe\t\t one.txt",
       {{kNotHtml, L"one.txt"}},
       {}},
      {"quote inside the program name", L"kel\"van e\".exe one.txt", {{kNotHtml, L"one.txt"}}, {}},
  };
  for (const CommandLineRow& row : rows) CheckRow(row, LineForm::kAnsi);
}

// Writes a good page at each name (UTF-16, in the children's folder).
void WritePages(const std::vector<std::wstring>& names) {
  for (const std::wstring& name : names)
    WriteFileBytes(g_folder + Narrow(CP_UTF8, name), GoodPage());
}

// Command lines that only UTF-16 can spell, wildcards, and a path of more than
// 300 characters.
void WideCommandLinesReachEveryFile() {
  MakeFolder(g_folder + "wild");
  MakeFolder(g_folder + "order");
  MakeFolder(g_folder + "order\\d.txt");
  WritePages({L"한국어ページ.html", L"café ♡ メモ.html", L"絵文字😀.htm", L"wild\\b.htm",
              L"wild\\a.html", L"wild\\한.htm"});
  for (const wchar_t* name :
       {L"order\\c.txt", L"order\\가.txt", L"order\\A.txt", L"order\\b.txt"}) {
    WriteFileBytes(g_folder + Narrow(CP_UTF8, name), "not html");
  }
  std::wstring deep;
  while (deep.size() <= 300) {
    deep += std::wstring(50, L'深') + L"\\";
    MakeFolder(g_folder + Narrow(CP_UTF8, deep));
  }
  WritePages({deep + L"ページ.htm", deep + L"b.htm"});
  const std::vector<WantBox> in_order = {{kNotHtml, L"order\\A.txt"},
                                         {kNotHtml, L"order\\b.txt"},
                                         {kNotHtml, L"order\\c.txt"},
                                         {kNotHtml, L"order\\가.txt"}};
  const CommandLineRow rows[] = {
      {"names outside cp932",
       L"kelvane.exe 한국어ページ.html \"café ♡ メモ.html\" 絵文字😀.htm",
       {},
       {L"한국어ページ.txt", L"café ♡ メモ.txt", L"絵文字😀.txt"}},
      {"a missing name outside cp932 shows as Windows spells it",
       L"kelvane.exe 없는😀.htm",
       {{kCannotOpen, L"없는😀.htm"}},
       {}},
      {"a pattern converts each file it matches",
       L"kelvane.exe wild\\*.htm*",
       {},
       {L"wild\\a.txt", L"wild\\b.txt", L"wild\\한.txt"}},
      {"matches come in name order, folders left out",
       L"kelvane.exe \"order\\?.txt\"",
       in_order,
       {}},
      {"a pattern that matches nothing is reported",
       L"kelvane.exe nothing\\*.htm *.none",
       {{kCannotOpen, L"nothing\\*.htm"}, {kCannotOpen, L"*.none"}},
       {}},
      {"a path over 300 characters",
       L"kelvane.exe " + deep + L"ページ.htm",
       {},
       {deep + L"ページ.txt"}},
      {"a pattern in a folder over 300 characters",
       L"kelvane.exe " + deep + L"*.htm",
       {},
       {deep + L"ページ.txt", deep + L"b.txt"}},
  };
  for (const CommandLineRow& row : rows) CheckRow(row, LineForm::kWide);
}

// Starts kelvane.exe with command_line, checks its window from outside, closes
// it and checks the exit code.
void CheckWindowRun(const std::wstring& command_line, const std::string& what, SIZE outer_size) {
  PROCESS_INFORMATION process;
  const bool started = Start(command_line, LineForm::kAnsi, &process);
  if (!Check(started, what + ": started (error " + std::to_string(GetLastError()) + ")")) return;
  HWND window = nullptr;
  for (DWORD waited = 0; window == nullptr && waited < kRunTimeoutMs; waited += kPollMs) {
    WaitForInputIdle(process.hProcess, kPollMs);
    window = FindVisibleWindow(process.dwProcessId, "KELVANE");
  }
  ChildRun run;
  if (Check(window != nullptr, what + ": window shown")) {
    Check(FindWindowA("KELVANE", "kelvane") != nullptr, what + ": found by class and title");
    char title[64] = {};
    GetWindowTextA(window, title, 64);
    Check(std::string(title) == "kelvane", what + ": title \"" + title + "\"");
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    CheckEqual(style & 0x00FF0000, 0x00CA0000, what + ": caption, system menu, minimise box");
    Check(!(style & (WS_MAXIMIZEBOX | WS_THICKFRAME)), what + ": no maximise box or sizing border");
    Check(ex_style & WS_EX_ACCEPTFILES, what + ": accepts dropped files");
    RECT outer;
    GetWindowRect(window, &outer);
    CheckEqual(outer.right - outer.left, outer_size.cx, what + ": outer width");
    CheckEqual(outer.bottom - outer.top, outer_size.cy, what + ": outer height");
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  Finish(&process, &run);
  Check(run.finished, what + ": ended after closing");
  CheckEqual(run.exit_code, 0, what + ": exit code");
}

void NoWordsOpensTheWindow() {
  CheckWindowRun(L"kelvane.exe", "program name only", {320, 200});
}
void BlanksOnlyOpenTheWindow() {
  CheckWindowRun(L"kelvane.exe   \t ", "name and blanks", {320, 200});
}

// Sets the DPI that Wine gives processes started from now on; 0 removes the
// setting, back to the default of 96.
bool SetWineDpi(DWORD dpi) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG result = dpi == 0 ? RegDeleteValueW(key, L"LogPixels")
                               : RegSetValueExW(key, L"LogPixels", 0, REG_DWORD,
                                                reinterpret_cast<BYTE*>(&dpi), sizeof(dpi));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// At 150% the window is half as large again, and the system DPI the program
// starts with is the one it sizes for.
void WindowScalesWithTheDpi() {
  if (!Check(SetWineDpi(144), "setting the DPI to 144")) return;
  CheckWindowRun(L"kelvane.exe", "at 144 DPI", {480, 300});
  Check(SetWineDpi(0), "setting the DPI back");
}

// The program is given as a Unix path by the test runner; Wine shows the Unix
// root as drive Z:.
std::string WindowsPath(const char* path) {
  std::string windows = path;
  if (!windows.empty() && windows[0] == '/') windows = "Z:" + windows;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

}  // namespace
}  // namespace kelvane::wintest

int main(int argc, char** argv) {
  using namespace kelvane::wintest;
  if (argc != 2) {
    std::printf("usage: kelvane_process_tests PATH-OF-kelvane.exe\n");
    return 2;
  }
  g_program = WindowsPath(argv[1]);
  g_folder = MakeScratchFolder("kelvane-process");
  const int result = RunWinTests({{
      {"command lines split exactly", CommandLinesSplitExactly},
      {"wide command lines reach every file", WideCommandLinesReachEveryFile},
      {"window scales with the DPI", WindowScalesWithTheDpi},
      {"no words opens the window", NoWordsOpensTheWindow},
      {"blanks only open the window", BlanksOnlyOpenTheWindow},
  }});
  RemoveTree(g_folder);
  return result;
}
