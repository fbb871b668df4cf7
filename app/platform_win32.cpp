// The driver's platform table for Win32.
//
// Paths are UTF-8 (WTF-8) byte strings of any length, which meet the wide
// file functions in app/system_path_win32.cpp. The warning is shown through
// the wide message box: the Shift-JIS messages are converted from code page
// 932 and the path back to UTF-16, so the box spells the path exactly as
// Windows does, whatever the system's ANSI code page is.
//
// An output is never left half written and an existing one is never lost:
// the text goes to a temporary file in the output's folder, which replaces the
// output only after a complete write. An output behind a symbolic link is
// handled the same way beside the file the link points to, so the link stays.
// Only an output with a second hard link (which a replacement would split from
// its other names), or one where no temporary file can be made beside it (a
// folder that takes no new files, or one too deep for another name), is
// rewritten in place: room for the new text is reserved first, so a full disk
// fails before the old text changes; a text that comes in parts is gathered
// whole for it first.
#include <windows.h>

#include <cstring>
#include <memory>

#include "app/messages.h"
#include "app/output_parts.h"
#include "app/platform.h"
#include "app/system_path_win32.h"
#include "app/wtf8.h"
#include "common/heap.h"

namespace kelvane {
namespace {

// The longest path the system takes (32767 UTF-16 units) less the longest
// prefix it may get; UTF-8 never has fewer bytes than UTF-16 has units.
constexpr size_t kMaxPathBytes = 32767 - 8;

struct HeapFree {
  void operator()(void* block) const { MemFree(block); }
};
using HeapText = std::unique_ptr<char, HeapFree>;
using HeapWide = std::unique_ptr<wchar_t, HeapFree>;

// Reads exactly size bytes from file into a new block with three NUL bytes
// behind them; the third keeps a zero 16-bit unit inside a block of odd size.
ReadResult ReadOpenFile(HANDLE file, char** block, uint32_t* size) {
  LARGE_INTEGER file_size;
  if (!GetFileSizeEx(file, &file_size) || file_size.QuadPart <= 0 ||
      file_size.QuadPart > 0xFFFFFFFFLL - 3) {
    return ReadResult::kInvalidSize;
  }
  const DWORD length = static_cast<DWORD>(file_size.QuadPart);
  char* data = static_cast<char*>(MemAlloc(static_cast<size_t>(length) + 3));
  if (data == nullptr) return ReadResult::kOutOfMemory;
  DWORD read = 0;
  if (!ReadFile(file, data, length, &read, nullptr) || read != length) {
    MemFree(data);
    return ReadResult::kCannotOpen;
  }
  data[length] = data[length + 1] = data[length + 2] = '\0';
  *block = data;
  *size = length;
  return ReadResult::kOk;
}

ReadResult ReadWholeFile(const char* path, char** block, uint32_t* size) {
  HANDLE file = CreateFileUtf8(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? ReadResult::kOutOfMemory
                                                     : ReadResult::kCannotOpen;
  }
  const ReadResult result = ReadOpenFile(file, block, size);
  CloseHandle(file);
  return result;
}

// What the output name holds before the write.
enum class OutputState {
  kRefused,     // a folder, a read-only file, or one held open elsewhere
  kNew,         // nothing yet
  kPlain,       // a file we may replace
  kHardLinked,  // a file with a second hard link
  kSymbolic,    // a symbolic link (or another reparse point) to a file
};

// Opens an existing output for writing to see that no one else holds it open.
OutputState ProbeOutput(const char* path) {
  const DWORD attributes = GetFileAttributesUtf8(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? OutputState::kNew : OutputState::kRefused;
  }
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
    return OutputState::kRefused;
  }
  HANDLE file = CreateFileUtf8(path, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) return OutputState::kRefused;
  BY_HANDLE_FILE_INFORMATION info;
  const bool hard_linked = GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1;
  CloseHandle(file);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return OutputState::kSymbolic;
  return hard_linked ? OutputState::kHardLinked : OutputState::kPlain;
}

// Moves the file pointer to offset from the start.
bool SeekTo(HANDLE file, LONGLONG offset) {
  LARGE_INTEGER at;
  at.QuadPart = offset;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

bool SetLength(HANDLE file, LONGLONG length) {
  return SeekTo(file, length) && SetEndOfFile(file);
}

// Writes all of data at the file pointer.
bool WriteAll(HANDLE file, const char* data, uint32_t size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool PutToFile(void* file, const char* data, uint32_t size) {
  return WriteAll(static_cast<HANDLE>(file), data, size);
}

// Writes every part to the file that handle opened, and closes it. 1 only
// when every byte went out and the close succeeded.
int WriteAndClose(HANDLE file, OutputParts parts) {
  const bool wrote = PutEveryPart(parts, PutToFile, file);
  const bool closed = CloseHandle(file);
  return wrote && closed ? 1 : 0;
}

// Writes zero bytes from the file's end up to size, which takes real room on
// every file system, also where moving the end only makes a hole (Wine).
bool ZeroFillTo(HANDLE file, LONGLONG old_size, uint32_t size) {
  static const char kZeros[65536] = {};
  if (!SeekTo(file, old_size)) return false;
  for (LONGLONG left = size - old_size; left > 0;) {
    const uint32_t chunk = left < static_cast<LONGLONG>(sizeof(kZeros))
                               ? static_cast<uint32_t>(left)
                               : static_cast<uint32_t>(sizeof(kZeros));
    if (!WriteAll(file, kZeros, chunk)) return false;
    left -= chunk;
  }
  return true;
}

// Makes sure the disk holds size bytes for the open file before any of its
// bytes change: the allocation is asked for (which fails at once on a full
// NTFS disk), then the new part is filled with zeros; neither touches what
// the file holds. On failure the file gets its old length back.
bool ReserveRoom(HANDLE file, LONGLONG old_size, uint32_t size) {
  if (size <= old_size) return true;
  FILE_ALLOCATION_INFO allocation;
  allocation.AllocationSize.QuadPart = size;
  // Systems that cannot set it alone answer otherwise; the zeros still reserve.
  const bool allocated =
      SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof(allocation)) ||
      GetLastError() != ERROR_DISK_FULL;
  if (allocated && ZeroFillTo(file, old_size, size)) return true;
  SetLength(file, old_size);
  return false;
}

// Rewrites the existing file at path; its names stay as they are. A full disk
// fails before the first byte changes; only a failure after that (an I/O
// error) can leave the old text partly rewritten, and is reported.
int RewriteInPlace(const char* path, const char* data, uint32_t size) {
  HANDLE file = CreateFileUtf8(path, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER old_size;
  bool ok = GetFileSizeEx(file, &old_size) && ReserveRoom(file, old_size.QuadPart, size);
  ok = ok && SeekTo(file, 0) && WriteAll(file, data, size) && SetLength(file, size);
  const bool closed = CloseHandle(file);
  return ok && closed ? 1 : 0;
}

// The same for a text in parts, gathered first so that its room is reserved
// before any byte changes.
int RewriteInPlace(const char* path, OutputParts parts) {
  const char* data = nullptr;
  uint32_t size = 0;
  char* owned = nullptr;
  if (!GatherParts(parts, &data, &size, &owned)) return 0;
  const int written = RewriteInPlace(path, data, size);
  MemFree(owned);
  return written;
}

// Length of the folder part of path, its trailing separator included; 0 when
// the path names no folder.
size_t FolderLength(const char* path) {
  size_t end = 0;
  for (size_t i = 0; path[i] != '\0'; i++) {
    // No byte of a multi-byte UTF-8 character is a separator.
    const char c = path[i];
    if (c == '\\' || c == '/' || c == ':') end = i + 1;
  }
  return end;
}

// How a write through a temporary file ended.
enum class TemporaryWrite {
  kDone,
  kFailed,
  kNoRoom,           // no temporary name fits beside the output (a path near the limit)
  kRefusedByFolder,  // the folder takes no new files
};

constexpr size_t kTemporaryNameLength = sizeof("kv01234567.tmp") - 1;

// Creates a new, empty temporary file beside path: its name goes to temporary
// (room for the folder and the name). INVALID_HANDLE_VALUE with *fits false
// when no such name fits in the longest path the system takes.
HANDLE CreateTemporaryBeside(const char* path, char* temporary, bool* fits) {
  const size_t folder = FolderLength(path);
  *fits = folder + kTemporaryNameLength <= kMaxPathBytes;
  if (!*fits) return INVALID_HANDLE_VALUE;
  memcpy(temporary, path, folder);
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; attempt++, seed = seed * 1103515245u + 12345u) {
    wsprintfA(temporary + folder, "kv%08lx.tmp", static_cast<unsigned long>(seed));
    HANDLE file = CreateFileUtf8(temporary, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes through a temporary file beside the output, then moves it over the
// output. On failure the temporary file is removed and the output is as it was.
// Every answer but kDone and kFailed comes before a part is asked for.
TemporaryWrite WriteThroughTemporary(const char* path, OutputParts parts) {
  const HeapText temporary(
      static_cast<char*>(MemAlloc(FolderLength(path) + kTemporaryNameLength + 1)));
  if (temporary == nullptr) return TemporaryWrite::kFailed;
  bool fits = false;
  HANDLE file = CreateTemporaryBeside(path, temporary.get(), &fits);
  if (!fits) return TemporaryWrite::kNoRoom;
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_ACCESS_DENIED ? TemporaryWrite::kRefusedByFolder
                                                 : TemporaryWrite::kFailed;
  }
  if (WriteAndClose(file, parts) &&
      MoveFileExUtf8(temporary.get(), path, MOVEFILE_REPLACE_EXISTING)) {
    return TemporaryWrite::kDone;
  }
  DeleteFileUtf8(temporary.get());
  return TemporaryWrite::kFailed;
}

// Writes a new output in place, for a folder so deep that no temporary name
// fits beside it. A failed write removes what it wrote; a file that appeared
// meanwhile is not touched.
int WriteNewInPlace(const char* path, OutputParts parts) {
  HANDLE file = CreateFileUtf8(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  if (WriteAndClose(file, parts)) return 1;
  DeleteFileUtf8(path);
  return 0;
}

int WriteNewFile(const char* path, OutputParts parts) {
  switch (WriteThroughTemporary(path, parts)) {
    case TemporaryWrite::kDone:
      return 1;
    case TemporaryWrite::kNoRoom:
      return WriteNewInPlace(path, parts);
    case TemporaryWrite::kRefusedByFolder:
    case TemporaryWrite::kFailed:
      break;
  }
  return 0;
}

// Replaces an existing file whole where a temporary file can be made beside
// it; otherwise rewrites it in place, so it is never removed.
int ReplaceExistingFile(const char* path, OutputParts parts) {
  switch (WriteThroughTemporary(path, parts)) {
    case TemporaryWrite::kDone:
      return 1;
    case TemporaryWrite::kNoRoom:
    case TemporaryWrite::kRefusedByFolder:
      return RewriteInPlace(path, parts);
    case TemporaryWrite::kFailed:
      break;
  }
  return 0;
}

// The path under which the system keeps the open file at path, that of the
// file itself when path leads through symbolic links, as a new WTF-8 block
// without the "\\?\" prefix; null when there is none.
char* FinalPath(const char* path) {
  HANDLE file = CreateFileUtf8(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, 0);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD room = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED);
  HeapWide found(room != 0 ? static_cast<wchar_t*>(MemAlloc(sizeof(wchar_t) * room)) : nullptr);
  const DWORD length =
      found != nullptr ? GetFinalPathNameByHandleW(file, found.get(), room, FILE_NAME_NORMALIZED)
                       : 0;
  CloseHandle(file);
  if (length == 0 || length >= room) return nullptr;
  wchar_t* rest = found.get();
  if (wcsncmp(rest, L"\\\\?\\UNC\\", 8) == 0) {
    rest += 6;  // "C\" of "UNC\", made the two backslashes of "\\server"
    rest[0] = L'\\';
  } else if (wcsncmp(rest, L"\\\\?\\", 4) == 0) {
    rest += 4;
  }
  return Utf16ToWtf8(reinterpret_cast<const uint16_t*>(rest), wcslen(rest));
}

// Writes an existing output where it really is: behind a symbolic link, the
// file the link points to, so the link stays a link.
int WriteExistingFile(const char* path, OutputState state, OutputParts parts) {
  const HeapText target(FinalPath(path));
  const char* where = target != nullptr ? target.get() : path;
  if (where != path) state = ProbeOutput(where);
  switch (state) {
    case OutputState::kPlain:
      return ReplaceExistingFile(where, parts);
    // Replacing a hard-linked file would leave its other names with the old
    // text; a reparse point left here leads nowhere else (a file kept by a
    // sync or dedup service) or could not be followed.
    case OutputState::kHardLinked:
    case OutputState::kSymbolic:
      return RewriteInPlace(where, parts);
    case OutputState::kNew:
    case OutputState::kRefused:
      break;
  }
  return 0;
}

int WriteFileInParts(const char* path, NextPart next_part, void* source) {
  const OutputParts parts{next_part, source};
  const OutputState state = ProbeOutput(path);
  if (state == OutputState::kRefused) return 0;
  if (state == OutputState::kNew) return WriteNewFile(path, parts);
  return WriteExistingFile(path, state, parts);
}

int WriteWholeFile(const char* path, const char* data, uint32_t size) {
  WholeText text{data, size, false};
  return WriteFileInParts(path, NextOfWholeText, &text);
}

// Reads the identity of the file at path: the volume's serial number and the
// file's index on it, which every name of one file shares.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileUtf8(path, FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool read = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return read;
}

int IsSameFile(const char* path, const char* other) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  if (!FileIdentity(path, &first) || !FileIdentity(other, &second)) return 0;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
                 first.nFileIndexHigh == second.nFileIndexHigh &&
                 first.nFileIndexLow == second.nFileIndexLow
             ? 1
             : 0;
}

// Appends the text of bytes in code page to out (which has room for it) and
// returns the number of units written, without a terminator.
int AppendWide(UINT code_page, const char* bytes, wchar_t* out, int room) {
  if (bytes[0] == '\0') return 0;
  return MultiByteToWideChar(code_page, 0, bytes, -1, out, room) - 1;
}

int WideLength(UINT code_page, const char* bytes) {
  return MultiByteToWideChar(code_page, 0, bytes, -1, nullptr, 0) - 1;
}

// The text of a warning: the message, and two line feeds and the path when
// there is a path. A new block, or null when out of memory.
wchar_t* ComposeWarning(const char* message, const char* path) {
  const int message_length = WideLength(kShiftJisCodePage, message);
  if (message_length < 0) return nullptr;
  std::size_t path_length = 0;
  wchar_t* wide_path = nullptr;
  if (path != nullptr) {
    wide_path = reinterpret_cast<wchar_t*>(Wtf8ToUtf16(path, &path_length));
    if (wide_path == nullptr) return nullptr;
  }
  const std::size_t room = message_length + 2 + path_length + 1;
  wchar_t* text = static_cast<wchar_t*>(MemAlloc(sizeof(wchar_t) * room));
  if (text != nullptr) {
    int end = AppendWide(kShiftJisCodePage, message, text, static_cast<int>(room));
    if (path != nullptr) {
      text[end++] = L'\n';
      text[end++] = L'\n';
      memcpy(text + end, wide_path, sizeof(wchar_t) * path_length);
      end += static_cast<int>(path_length);
    }
    text[end] = L'\0';
  }
  MemFree(wide_path);
  return text;
}

int ShowWarning(const char* message, const char* path) {
  wchar_t caption[32];
  if (MultiByteToWideChar(kShiftJisCodePage, 0, kProgramCaption, -1, caption, 32) == 0)
    caption[0] = 0;
  if (message == nullptr) message = "";
  wchar_t* text = ComposeWarning(message, path);
  if (text == nullptr) {
    // Out of memory: still tell the user what failed, without the path.
    wchar_t short_text[64];
    if (MultiByteToWideChar(kShiftJisCodePage, 0, message, -1, short_text, 64) == 0) {
      short_text[0] = 0;
    }
    return MessageBoxW(nullptr, short_text, caption, MB_OK | MB_ICONWARNING);
  }
  const int result = MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONWARNING);
  MemFree(text);
  return result;
}

struct SecondJob {
  void (*job)(void*);
  void* argument;
};

DWORD WINAPI RunSecondJob(void* start) {
  const SecondJob* second = static_cast<const SecondJob*>(start);
  second->job(second->argument);
  return 0;
}

// Processors this process may run on (of its processor group).
int UsableProcessors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
  int count = 0;
  for (; process != 0; process &= process - 1) ++count;
  return count;
}

// On a single processor the jobs run in order: side by side they would only
// take turns, and a job that waits for the other would spin away its turns.
void RunBoth(void (*job)(void*), void* first, void* second) {
  SecondJob start{job, second};
  HANDLE thread =
      UsableProcessors() < 2 ? nullptr : CreateThread(nullptr, 0, RunSecondJob, &start, 0, nullptr);
  if (thread == nullptr) {
    job(first);
    job(second);
    return;
  }
  job(first);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

constexpr Platform kWin32Platform = {ReadWholeFile, WriteWholeFile, IsSameFile,
                                     ShowWarning,   RunBoth,        WriteFileInParts};

}  // namespace

const Platform* DefaultPlatform() {
  return &kWin32Platform;
}

}  // namespace kelvane
