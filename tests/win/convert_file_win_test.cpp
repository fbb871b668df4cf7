// ConvertFile on Windows with the real platform table: every failure's warning
// box (caught in-process), and how outputs are written and replaced.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/convert_file.h"
#include "common/heap.h"
#include "html/html_to_text.h"
#include "tests/support/test_heap.h"
#include "tests/win/box_catcher.h"
#include "tests/win/win_check.h"
#include "tests/win/win_tests.h"

namespace kelvane::wintest {
namespace {

const wchar_t kNotHtml[] = L"HTMLファイルではありません：";
const wchar_t kCannotOpen[] = L"ファイルが開けません：";
const wchar_t kInvalidSize[] = L"無効なファイルサイズです：";
const wchar_t kOutOfMemory[] = L"メモリの確保に失敗しました：";
const wchar_t kConversionFailed[] = L"文字コードの変換に失敗しました：";
const wchar_t kHtmlFailed[] = L"HTML→テキスト変換に失敗しました：";
const wchar_t kCreateFailed[] = L"ファイルの作成に失敗しました：";

// A small page that the whole pipeline converts.
std::string GoodPage() {
  return Narrow(932,
                L"<html><head><title>t</title></head><body>\n<p>日本語のページ</p>\n"
                L"<p>second &amp; last</p>\n</body></html>\n");
}

// The scratch folder of these tests, as the driver's UTF-8 and as the text a
// box shows.
struct Scratch {
  std::string folder;
  std::wstring shown;
  std::string Path(const std::wstring& name) const { return folder + Narrow(CP_UTF8, name); }
  std::wstring Shown(const std::wstring& name) const { return shown + name; }
};

Scratch MakeScratch(const char* name) {
  Scratch scratch;
  scratch.folder = MakeScratchFolder(name);
  scratch.shown = Wide(scratch.folder);
  return scratch;
}

// The converter builds its name tables on first use and keeps them to the end
// of the process; build them before counting live blocks.
void BuildNameTables() {
  static bool built = false;
  if (built) return;
  built = true;
  MemFree(HtmlToText("<body><p>&amp;</p>", nullptr));
}

// Converts path with boxes caught; checks that exactly one box was shown with
// the expected text, the caption, the warning icon and OK alone, and that
// every block was released.
void ExpectOneBox(const std::string& path, const std::wstring& want_text, const std::string& what) {
  BuildNameTables();
  const long live_before = testing::LiveBlocks();
  BoxCatcher catcher;
  CheckEqual(ConvertFile(path.c_str()), 0, what + ": result");
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 1, what + ": boxes shown");
  if (catcher.boxes().size() != 1) return;
  const CaughtBox& box = catcher.boxes()[0];
  CheckEqual(box.text, want_text, what + ": box text");
  CheckEqual(box.caption, L"kelvane", what + ": caption");
  Check(box.warning_icon, what + ": warning icon");
  Check(box.only_ok, what + ": OK is the only button");
  Check(!box.owned, what + ": box has no owner");
  CheckEqual(testing::LiveBlocks(), live_before, what + ": live heap blocks after the call");
}

void AnsiCodePageIs932() {
  CheckEqual(GetACP(), 932, "ANSI code page of the test run");
}

// The platform's run_both runs both jobs, the second on a thread of its own
// that has ended by the time it returns.
// Both jobs run, the second on a thread of its own; on a single processor
// both on the caller's thread, in order.
void RunBothRunsTheSecondJobOnAnotherThread() {
  DWORD_PTR all = 0;
  DWORD_PTR system = 0;
  Check(GetProcessAffinityMask(GetCurrentProcess(), &all, &system) != 0, "reading the affinity");
  const DWORD_PTR one = all & (~all + 1);  // the lowest processor
  for (const DWORD_PTR mask : {all, one}) {
    const bool single = mask == one;
    const std::string what = single ? "run_both on one processor: " : "run_both: ";
    Check(SetProcessAffinityMask(GetCurrentProcess(), mask) != 0, what + "setting the affinity");
    struct Job {
      DWORD thread = 0;
      int runs = 0;
      int order = 0;
    };
    static int started;
    started = 0;
    Job jobs[2];
    DefaultPlatform()->run_both(
        [](void* job) {
          Job* j = static_cast<Job*>(job);
          j->thread = GetCurrentThreadId();
          j->order = ++started;
          ++j->runs;
        },
        &jobs[0], &jobs[1]);
    SetProcessAffinityMask(GetCurrentProcess(), all);
    CheckEqual(jobs[0].runs, 1, what + "first job runs once");
    CheckEqual(jobs[1].runs, 1, what + "second job runs once");
    CheckEqual(static_cast<long long>(jobs[0].thread), static_cast<long long>(GetCurrentThreadId()),
               what + "the first job runs on the caller's thread");
    Check(jobs[1].thread != 0 && (jobs[1].thread == jobs[0].thread) == single,
          what + (single ? "the second job runs on the caller's thread"
                         : "the second job runs on another thread"));
    if (single) CheckEqual(jobs[1].order, 2, what + "the second job runs last");
  }
}

// A file of size bytes that takes no room on disk: only its end is set.
void MakeSparseFile(const std::string& path, long long size) {
  HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = size;
  Check(file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
            SetEndOfFile(file),
        "making a file of " + std::to_string(size) + " bytes");
  CloseHandle(file);
}

struct ReadFailureRow {
  const char* name;
  std::wstring file;  // in the scratch folder
  const wchar_t* message;
};

void ReadFailuresShowTheInputPath() {
  const Scratch s = MakeScratch("kelvane-read");
  WriteFileBytes(s.Path(L"page.txt"), GoodPage());
  WriteFileBytes(s.Path(L"page.ht"), GoodPage());
  MakeFolder(s.Path(L"folder.htm"));
  WriteFileBytes(s.Path(L"empty.htm"), "");
  WriteFileBytes(s.Path(L"zeros.htm"), std::string(16, '\0'));
  MakeSparseFile(s.Path(L"huge.htm"), 0x100000000LL);
  // UTF-8 with a byte order mark, holding a white heart, which has no near
  // form; and UTF-8 without one, with an emoji among Japanese.
  WriteFileBytes(s.Path(L"heart.htm"), "\xEF\xBB\xBF<body><p>\xE2\x99\xA1</p></body>");
  WriteFileBytes(s.Path(L"emoji.htm"),
                 "<body><p>\xE4\xBB\x8A\xF0\x9F\x98\x80\xE3\x81\xAF</p></body>");
  const std::wstring long_name = std::wstring(270 - s.shown.size(), L'a') + L".htm";
  const ReadFailureRow rows[] = {
      {"a .txt file is not HTML", L"page.txt", kNotHtml},
      {"a .ht file is not HTML", L"page.ht", kNotHtml},
      {"a missing file cannot be opened", L"missing.htm", kCannotOpen},
      {"a missing Japanese name shows right", L"存在しないファイル.html", kCannotOpen},
      {"a folder cannot be opened as a file", L"folder.htm", kCannotOpen},
      {"a missing path over 259 characters cannot be opened", long_name, kCannotOpen},
      {"a missing name outside cp932 shows as Windows spells it", L"없는 ♡😀.htm", kCannotOpen},
      {"an empty file has an invalid size", L"empty.htm", kInvalidSize},
      {"a file of 4 GiB has an invalid size", L"huge.htm", kInvalidSize},
      {"a file of NUL bytes converts to nothing", L"zeros.htm", kHtmlFailed},
      {"a character without a near form fails the decoding", L"heart.htm", kConversionFailed},
      {"UTF-8 with an emoji is decoded and fails", L"emoji.htm", kConversionFailed},
  };
  for (const ReadFailureRow& row : rows) {
    const std::wstring shown = s.Shown(row.file);
    ExpectOneBox(s.Path(row.file), BoxText(row.message, &shown), row.name);
  }
  RemoveTree(s.folder);
}

void EmptyPathShowsMessageAndTwoLineFeeds() {
  const std::wstring empty;
  ExpectOneBox("", BoxText(kNotHtml, &empty), "empty path");
}

void NullPathIsSilent() {
  BoxCatcher catcher;
  CheckEqual(ConvertFile(nullptr), 0, "result for a null path");
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 0, "boxes for a null path");
}

void UnknownErrorIsTheDefaultMessage() {
  BoxCatcher catcher;
  ShowConversionError(nullptr, nullptr);
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 1, "boxes shown");
  if (catcher.boxes().size() == 1) CheckEqual(catcher.boxes()[0].text, L"不明のエラー", "text");
}

// With no memory for the composed text, the box still names the failure.
void BoxWithoutMemoryShowsTheMessage() {
  const std::string path = "C:\\some\\page.txt";
  testing::ScopedHeapFaults faults;
  testing::FailAllAllocations();
  BoxCatcher catcher;
  ShowConversionError(nullptr, path.c_str());
  testing::ResetHeapFaults();
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 1, "boxes shown");
  if (catcher.boxes().size() == 1) {
    CheckEqual(catcher.boxes()[0].text, L"不明のエラー", "text");
    Check(catcher.boxes()[0].warning_icon, "warning icon");
  }
}

void FileOpenForWritingElsewhereCannotBeOpened() {
  const Scratch s = MakeScratch("kelvane-held");
  const std::string path = s.Path(L"held.htm");
  WriteFileBytes(path, GoodPage());
  HANDLE writer = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  Check(writer != INVALID_HANDLE_VALUE, "opening the input for writing");
  const std::wstring shown = s.Shown(L"held.htm");
  ExpectOneBox(path, BoxText(kCannotOpen, &shown), "input held open for writing");
  CloseHandle(writer);
  RemoveTree(s.folder);
}

void FailedBlockAllocationIsReported() {
  const Scratch s = MakeScratch("kelvane-memory");
  const std::string path = s.Path(L"page.htm");
  WriteFileBytes(path, GoodPage());
  const std::wstring shown = s.Shown(L"page.htm");
  // The driver's output path is the first allocation, the input path's UTF-16
  // form the second and the input block the third.
  for (long n : {2, 3}) {
    const std::string what = "allocation " + std::to_string(n) + " fails";
    testing::ScopedHeapFaults faults;
    testing::FailNthAllocation(n);
    ExpectOneBox(path, BoxText(kOutOfMemory, &shown), what);
    Check(testing::InjectedFailureHappened(), what + ": the chosen allocation failed");
    Check(!FileExists(s.Path(L"page.txt")), what + ": no output");
  }
  RemoveTree(s.folder);
}

// Each way the output can be refused: the box names the output, the existing
// output is untouched and no temporary file is left behind.
void RefusedOutputsShowTheOutputPath() {
  const Scratch s = MakeScratch("kelvane-write");
  const std::string old_text = "old output, not to be touched";
  struct Row {
    const char* name;
    const wchar_t* stem;
  };
  const Row rows[] = {{"a read-only output", L"readonly"},
                      {"an output held open elsewhere", L"busy"},
                      {"an output name taken by a folder", L"folder"}};
  for (const Row& row : rows) WriteFileBytes(s.Path(std::wstring(row.stem) + L".htm"), GoodPage());
  WriteFileBytes(s.Path(L"readonly.txt"), old_text);
  SetFileAttributesW(Wide(s.Path(L"readonly.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(s.Path(L"busy.txt"), old_text);
  HANDLE reader = CreateFileW(Wide(s.Path(L"busy.txt")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  MakeFolder(s.Path(L"folder.txt"));

  for (const Row& row : rows) {
    const std::wstring output = s.Shown(std::wstring(row.stem) + L".txt");
    ExpectOneBox(s.Path(std::wstring(row.stem) + L".htm"), BoxText(kCreateFailed, &output),
                 row.name);
  }
  CloseHandle(reader);
  CheckEqual(Widen(CP_UTF8, ReadFileBytes(s.Path(L"readonly.txt"))), Widen(CP_UTF8, old_text),
             "read-only output unchanged");
  CheckEqual(Widen(CP_UTF8, ReadFileBytes(s.Path(L"busy.txt"))), Widen(CP_UTF8, old_text),
             "busy output unchanged");
  CheckEqual(static_cast<long long>(ListFiles(s.folder, "kv*.tmp").size()), 0,
             "temporary files left");
  RemoveTree(s.folder);
}

// Converts name in s with no box expected; returns the output's bytes.
std::string ConvertQuietly(const Scratch& s, const std::wstring& name, const std::wstring& output,
                           const std::string& what) {
  BoxCatcher catcher;
  CheckEqual(ConvertFile(s.Path(name).c_str()), 1, what + ": result");
  CheckEqual(static_cast<long long>(catcher.boxes().size()), 0, what + ": boxes shown");
  bool exists = false;
  std::string bytes = ReadFileBytes(s.Path(output), &exists);
  Check(exists, what + ": output written");
  return bytes;
}

void ExistingOutputIsReplacedWhole() {
  const Scratch s = MakeScratch("kelvane-replace");
  WriteFileBytes(s.Path(L"fresh.htm"), GoodPage());
  WriteFileBytes(s.Path(L"again.htm"), GoodPage());
  WriteFileBytes(s.Path(L"again.txt"), std::string(100000, 'x'));
  const std::string fresh = ConvertQuietly(s, L"fresh.htm", L"fresh.txt", "fresh output");
  const std::string replaced = ConvertQuietly(s, L"again.htm", L"again.txt", "replaced output");
  Check(!fresh.empty(), "the output holds text");
  Check(replaced == fresh, "a replaced output equals a fresh one, nothing of the old left");
  CheckEqual(static_cast<long long>(ListFiles(s.folder, "kv*.tmp").size()), 0,
             "temporary files left");
  RemoveTree(s.folder);
}

// An output with a second hard link is rewritten through it: the other name
// sees the new text instead of keeping the old file.
void HardLinkedOutputIsRewrittenThroughTheLink() {
  const Scratch s = MakeScratch("kelvane-link");
  WriteFileBytes(s.Path(L"fresh.htm"), GoodPage());
  WriteFileBytes(s.Path(L"linked.htm"), GoodPage());
  WriteFileBytes(s.Path(L"linked.txt"), std::string(100000, 'x'));
  Check(CreateHardLinkW(Wide(s.Path(L"elsewhere.txt")).c_str(), Wide(s.Path(L"linked.txt")).c_str(),
                        nullptr),
        "making the second link");
  const std::string fresh = ConvertQuietly(s, L"fresh.htm", L"fresh.txt", "fresh output");
  const std::string linked = ConvertQuietly(s, L"linked.htm", L"linked.txt", "linked output");
  Check(!fresh.empty() && linked == fresh, "the linked output holds the whole text");
  Check(ReadFileBytes(s.Path(L"elsewhere.txt")) == fresh, "the other name sees the new text");
  CheckEqual(static_cast<long long>(ListFiles(s.folder, "kv*.tmp").size()), 0,
             "temporary files left");
  RemoveTree(s.folder);
}

// A folder in s whose path, with its separator, is 251 characters long: no
// temporary name fits beside a file in it.
std::wstring MakeDeepFolder(const Scratch& s) {
  std::wstring deep = s.shown;
  while (deep.size() < 250) deep += L"d";
  deep += L"\\";
  MakeFolder(Narrow(CP_UTF8, deep));
  return deep;
}

// A text in parts, each handed over in a buffer the next call overwrites, as
// the driver's are; it may give up after its last part.
struct ScriptedParts {
  std::vector<std::string> parts;
  bool gives_up;
  size_t next;
  std::string held;
};

int NextScriptedPart(void* source, const char** data, uint32_t* size) {
  ScriptedParts* s = static_cast<ScriptedParts*>(source);
  if (s->next == s->parts.size()) return s->gives_up ? -1 : 0;
  s->held.assign(s->held.size(), '#');
  s->held = s->parts[s->next++];
  *data = s->held.data();
  *size = static_cast<uint32_t>(s->held.size());
  return 1;
}

// A text in parts lands whole where a whole one would: a new file, a
// replaced one, one rewritten in place through its second hard link, and
// both in a folder too deep for a temporary name. One that gives up leaves
// every file as it was and no temporary file behind.
void WriteInPartsIsAllOrNothing() {
  const Scratch s = MakeScratch("kelvane-parts");
  const std::wstring deep = MakeDeepFolder(s);
  struct Row {
    const char* name;
    std::wstring folder;
    bool exists;
    bool hard_linked;
  };
  const Row rows[] = {{"new file", s.shown, false, false},
                      {"existing file", s.shown, true, false},
                      {"hard-linked file", s.shown, true, true},
                      {"new file in a deep folder", deep, false, false},
                      {"existing file in a deep folder", deep, true, false}};
  const std::vector<std::string> parts = {"first ", "", std::string(100000, 'x'), "\r\nlast"};
  std::string joined;
  for (const std::string& part : parts) joined += part;
  for (const Row& row : rows) {
    for (bool gives_up : {false, true}) {
      const std::string what = std::string(row.name) + (gives_up ? ", giving up" : "");
      const std::string folder = Narrow(CP_UTF8, row.folder);
      const std::string path = folder + "out.txt";
      DeleteFileW(Wide(path).c_str());
      DeleteFileW(Wide(folder + "other.txt").c_str());
      if (row.exists) WriteFileBytes(path, "old text");
      if (row.hard_linked) {
        Check(CreateHardLinkW(Wide(folder + "other.txt").c_str(), Wide(path).c_str(), nullptr),
              what + ": making the second link");
      }
      ScriptedParts source{parts, gives_up, 0, ""};
      CheckEqual(DefaultPlatform()->write_file_in_parts(path.c_str(), NextScriptedPart, &source),
                 gives_up ? 0 : 1, what + ": result");
      bool exists = false;
      const std::string now = ReadFileBytes(path, &exists);
      if (!gives_up) {
        Check(now == joined, what + ": the whole text");
      } else {
        Check(exists == row.exists && (!exists || now == "old text"), what + ": kept as it was");
      }
      if (row.hard_linked) {
        Check(ReadFileBytes(folder + "other.txt") == now, what + ": the other name agrees");
      }
      CheckEqual(static_cast<long long>(ListFiles(folder, "kv*.tmp").size()), 0,
                 what + ": temporary files left");
    }
  }
  RemoveTree(s.folder);
}

// An output that is the input under another name is refused, and neither
// changes: the page is never written over by its own text.
void OutputThatIsTheInputIsRefused() {
  const Scratch s = MakeScratch("kelvane-self");
  const std::string page = GoodPage();
  WriteFileBytes(s.Path(L"page.htm"), page);
  Check(CreateHardLinkW(Wide(s.Path(L"page.txt")).c_str(), Wide(s.Path(L"page.htm")).c_str(),
                        nullptr),
        "making the output a second name of the input");
  const std::wstring output = s.Shown(L"page.txt");
  ExpectOneBox(s.Path(L"page.htm"), BoxText(kCreateFailed, &output), "output is the input");
  Check(ReadFileBytes(s.Path(L"page.htm")) == page, "the input keeps its bytes");
  Check(ReadFileBytes(s.Path(L"page.txt")) == page, "and so does its other name");
  CheckEqual(static_cast<long long>(ListFiles(s.folder, "*").size()), 2, "files in the folder");
  RemoveTree(s.folder);
}

// Fills the disk of folder, then frees room bytes again, so that a write of
// more than room bytes runs out of space part way.
bool FillDiskLeaving(const std::string& folder, long long room) {
  const std::string path = folder + "filler";
  HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  static const std::string block(4096, 'f');
  long long size = 0;
  DWORD written = 0;
  while (WriteFile(file, block.data(), 4096, &written, nullptr) && written > 0) size += written;
  LARGE_INTEGER end;
  end.QuadPart = size - room;
  const bool ok =
      size > room && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  return CloseHandle(file) && ok;
}

// The small disk that scripts/test-windows mounts (a tmpfs mapped as a drive,
// named by KELVANE_TEST_SMALL_DISK); "" when this run has none.
std::string SmallDisk() {
  const char* disk = std::getenv("KELVANE_TEST_SMALL_DISK");
  if (disk == nullptr || disk[0] == '\0') return "";
  ULARGE_INTEGER total;
  const bool small =
      GetDiskFreeSpaceExA(disk, nullptr, &total, nullptr) && total.QuadPart <= (1u << 20);
  Check(small, std::string("drive ") + disk + " is a disk of at most 1 MiB");
  return small ? disk : "";
}

// A full disk: the text does not fit, the box names the output, and the old
// output keeps every byte under each of its names, whether it is replaced
// through a temporary file (no other name) or rewritten in place (a second
// hard link).
void FullDiskKeepsTheOldOutput() {
  const std::string disk = SmallDisk();
  if (disk.empty()) {
    std::printf("skipped: full disk (no small disk; scripts/test-windows mounts one as root)\n");
    return;
  }
  // About 120 KB of text for 16 KB of free space.
  std::string page = "<body>";
  while (page.size() < 120000) page += "<p>" + std::string(70, 'x') + "</p>\n";
  const std::string old_text = "the output of an earlier run";
  const Scratch s{disk, Wide(disk)};
  for (const bool linked : {false, true}) {
    const std::string what = linked ? "hard-linked output" : "plain output";
    WriteFileBytes(s.Path(L"page.htm"), page);
    WriteFileBytes(s.Path(L"page.txt"), old_text);
    if (linked) {
      Check(CreateHardLinkW(Wide(s.Path(L"other.txt")).c_str(), Wide(s.Path(L"page.txt")).c_str(),
                            nullptr),
            what + ": making the second link");
    }
    Check(FillDiskLeaving(s.folder, 16384), what + ": filling the disk");
    const std::wstring output = s.Shown(L"page.txt");
    ExpectOneBox(s.Path(L"page.htm"), BoxText(kCreateFailed, &output), what);
    Check(ReadFileBytes(s.Path(L"page.txt")) == old_text, what + ": the old text, byte for byte");
    if (linked) {
      Check(ReadFileBytes(s.Path(L"other.txt")) == old_text, what + ": and under its other name");
    }
    CheckEqual(static_cast<long long>(ListFiles(s.folder, "kv*.tmp").size()), 0,
               what + ": temporary files left");
    for (const wchar_t* name : {L"filler", L"page.htm", L"page.txt", L"other.txt"}) {
      DeleteFileW(Wide(s.Path(name)).c_str());
    }
  }
}

// Names of any letters Windows has, and upper-case extensions.
void OutputNamesFollowTheInput() {
  const Scratch s = MakeScratch("kelvane-names");
  struct Row {
    const char* name;
    const wchar_t* input;
    const wchar_t* output;
  };
  const Row rows[] = {
      {"upper-case extension", L"INDEX.HTML", L"INDEX.txt"},
      {"xhtml", L"doc.xhtml", L"doc.txt"},
      {"only the last extension goes", L"a.b.htm", L"a.b.txt"},
      {"Japanese name", L"日本語のページ.htm", L"日本語のページ.txt"},
      {"name with blanks", L"my page.html", L"my page.txt"},
      {"Hangul, outside cp932", L"한국어ページ.html", L"한국어ページ.txt"},
      {"accented Latin and a heart", L"café ♡ メモ.html", L"café ♡ メモ.txt"},
      {"an emoji, a surrogate pair", L"絵文字😀.htm", L"絵文字😀.txt"},
  };
  WriteFileBytes(s.Path(L"plain.htm"), GoodPage());
  const std::string plain = ConvertQuietly(s, L"plain.htm", L"plain.txt", "plain name");
  for (const Row& row : rows) {
    WriteFileBytes(s.Path(row.input), GoodPage());
    Check(ConvertQuietly(s, row.input, row.output, row.name) == plain,
          std::string(row.name) + ": same text as under a plain name");
  }
  RemoveTree(s.folder);
}

// A folder so deep that the temporary name beside the output passes the
// classic limit: the output is still complete.
void DeepFolderStillGetsItsOutput() {
  const Scratch s = MakeScratch("kelvane-deep");
  const std::wstring deep = MakeDeepFolder(s);
  Scratch inner{Narrow(CP_UTF8, deep), deep};
  Check(inner.folder.size() + 5 <= 259, "the input path fits");
  WriteFileBytes(inner.Path(L"a.htm"), GoodPage());
  WriteFileBytes(s.Path(L"b.htm"), GoodPage());
  const std::string deep_text = ConvertQuietly(inner, L"a.htm", L"a.txt", "deep folder");
  const std::string flat_text = ConvertQuietly(s, L"b.htm", L"b.txt", "shallow folder");
  Check(!deep_text.empty() && deep_text == flat_text, "deep output complete");
  RemoveTree(s.folder);
}

// Paths of more than 300 characters, past the classic limit: absolute, and
// relative with '/' and ".." in them, which the system resolves for a short
// path and kelvane must resolve for a long one.
void PathsOverThreeHundredCharactersConvert() {
  const Scratch s = MakeScratch("kelvane-long");
  const std::wstring part = std::wstring(60, L'長');
  std::wstring folder = s.shown;
  while (folder.size() <= 300) {
    folder += part + L"\\";
    MakeFolder(Narrow(CP_UTF8, folder));
  }
  const Scratch inner{Narrow(CP_UTF8, folder), folder};
  WriteFileBytes(inner.Path(L"ページ.htm"), GoodPage());
  WriteFileBytes(s.Path(L"plain.htm"), GoodPage());
  const std::string plain = ConvertQuietly(s, L"plain.htm", L"plain.txt", "plain path");
  const std::string deep = ConvertQuietly(inner, L"ページ.htm", L"ページ.txt", "absolute");
  Check(!plain.empty() && deep == plain, "the long path's output is the plain one");
  const std::wstring missing = inner.Shown(L"ない.htm");
  ExpectOneBox(inner.Path(L"ない.htm"), BoxText(kCannotOpen, &missing), "missing, long path");

  wchar_t kept[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, kept);
  SetCurrentDirectoryW(Wide(s.folder).c_str());
  std::wstring relative;
  for (size_t at = s.shown.size(); at < folder.size(); at += part.size() + 1) {
    relative += part + L"/" + part + L"/../";
  }
  const Scratch dotted{Narrow(CP_UTF8, relative), relative};
  Check(relative.size() > 300, "the relative path is over 300 characters");
  Check(RemoveFile(inner.Path(L"ページ.txt")), "removing the first output");
  const std::string dotted_text = ConvertQuietly(dotted, L"ページ.htm", L"ページ.txt", "relative");
  Check(dotted_text == plain, "the relative long path's output is the plain one");
  SetCurrentDirectoryW(kept);
  RemoveTree(s.folder);
}

}  // namespace

std::vector<WinTest> ConvertFileWinTests() {
  return {
      {"ANSI code page is 932", AnsiCodePageIs932},
      {"run_both runs the second job on another thread", RunBothRunsTheSecondJobOnAnotherThread},
      {"read failures show the input path", ReadFailuresShowTheInputPath},
      {"empty path shows the message and two line feeds", EmptyPathShowsMessageAndTwoLineFeeds},
      {"null path is silent", NullPathIsSilent},
      {"unknown error is the default message", UnknownErrorIsTheDefaultMessage},
      {"box without memory shows the message", BoxWithoutMemoryShowsTheMessage},
      {"file open for writing elsewhere cannot be opened",
       FileOpenForWritingElsewhereCannotBeOpened},
      {"failed block allocation is reported", FailedBlockAllocationIsReported},
      {"refused outputs show the output path", RefusedOutputsShowTheOutputPath},
      {"existing output is replaced whole", ExistingOutputIsReplacedWhole},
      {"hard-linked output is rewritten through the link",
       HardLinkedOutputIsRewrittenThroughTheLink},
      {"write in parts is all or nothing", WriteInPartsIsAllOrNothing},
      {"output that is the input is refused", OutputThatIsTheInputIsRefused},
      {"full disk keeps the old output", FullDiskKeepsTheOldOutput},
      {"output names follow the input", OutputNamesFollowTheInput},
      {"deep folder still gets its output", DeepFolderStillGetsItsOutput},
      {"paths over 300 characters convert", PathsOverThreeHundredCharactersConvert},
  };
}

}  // namespace kelvane::wintest
