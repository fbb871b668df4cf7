// kelvane.exe as a user starts it: exact command lines given to CreateProcessA
// (the Wine launcher would re-quote Unix arguments), and the drop window seen
// from outside. Boxes of the child are found by polling its top-level windows,
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
std::string g_folder;   // the children's working folder

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

bool Start(const std::string& command_line, PROCESS_INFORMATION* process) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  return CreateProcessA(g_program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        g_folder.c_str(), &startup, process);
}

void Finish(PROCESS_INFORMATION* process, ChildRun* run) {
  run->finished = WaitForSingleObject(process->hProcess, kRunTimeoutMs) == WAIT_OBJECT_0;
  if (!run->finished) TerminateProcess(process->hProcess, 99);
  GetExitCodeProcess(process->hProcess, &run->exit_code);
  CloseHandle(process->hThread);
  CloseHandle(process->hProcess);
}

// Runs kelvane.exe with command_line, dismissing every box it shows.
ChildRun RunWithBoxes(const std::string& command_line) {
  ChildRun run;
  PROCESS_INFORMATION process;
  run.started = Start(command_line, &process);
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
  std::wstring command_line;  // whole, program name included; sent as ANSI
  std::vector<WantBox> boxes;
  std::vector<std::wstring> outputs;  // files that must exist afterwards
};

void CheckRow(const CommandLineRow& row) {
  const std::string what = row.name;
  for (const std::wstring& output : row.outputs) DeleteFileA(Narrow(CP_ACP, output).c_str());
  const ChildRun run = RunWithBoxes(Narrow(CP_ACP, row.command_line));
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
    Check(FileExists(g_folder + Narrow(CP_ACP, output)), what + ": wrote " + Printable(output));
  }
}

std::string GoodPage() {
  return Narrow(932, L"<body>\n<p>コマンドライン</p>\n</body>\n");
}

void CommandLinesSplitExactly() {
  CreateDirectoryA((g_folder + "my files").c_str(), nullptr);
  WriteFileBytes(g_folder + "my files\\page.htm", GoodPage());
  WriteFileBytes(g_folder + Narrow(CP_ACP, L"日本語.htm"), GoodPage());
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
      {"word over 259 bytes refused whole",
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
  for (const CommandLineRow& row : rows) CheckRow(row);
}

// Starts kelvane.exe with command_line, checks its window from outside, closes
// it and checks the exit code.
void CheckWindowRun(const std::string& command_line, const std::string& what) {
  PROCESS_INFORMATION process;
  const bool started = Start(command_line, &process);
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
    CheckEqual(outer.right - outer.left, 320, what + ": outer width");
    CheckEqual(outer.bottom - outer.top, 200, what + ": outer height");
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  Finish(&process, &run);
  Check(run.finished, what + ": ended after closing");
  CheckEqual(run.exit_code, 0, what + ": exit code");
}

void NoWordsOpensTheWindow() {
  CheckWindowRun("kelvane.exe", "program name only");
}
void BlanksOnlyOpenTheWindow() {
  CheckWindowRun("kelvane.exe   \t ", "name and blanks");
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
      {"no words opens the window", NoWordsOpensTheWindow},
      {"blanks only open the window", BlanksOnlyOpenTheWindow},
  }});
  RemoveTree(g_folder);
  return result;
}
