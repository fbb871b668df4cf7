// The driver's platform table for Win32.
//
// Paths are byte strings in the ANSI code page and fit the classic 260-byte
// buffers: anything longer than 259 bytes is refused before the system sees
// it. Files go through the ANSI functions. The warning is shown through the
// wide message box: the Shift-JIS messages are converted from code page 932
// and the path from the ANSI code page, so the text reads right whatever the
// system's ANSI code page is.
//
// An output is never left half written and an existing one is never lost:
// the text goes to a temporary file in the output's folder, which replaces the
// output only after a complete write. An output behind a symbolic link is
// handled the same way beside the file the link points to, so the link stays.
// Only an output with a second hard link (which a replacement would split from
// its other names), or one where no temporary file can be made beside it (a
// folder that takes no new files, or one too deep for another name), is
// rewritten in place: room for the new text is reserved first, so a full disk
// fails before the old text changes.
#include <windows.h>

#include <cstring>

#include "app/messages.h"
#include "app/platform.h"
#include "common/heap.h"

namespace kelvane {
namespace {

constexpr size_t kMaxPathBytes = MAX_PATH - 1;
constexpr UINT kShiftJisCodePage = 932;

bool PathFits(const char* path) {
  return strnlen(path, MAX_PATH) <= kMaxPathBytes;
}

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
  if (!PathFits(path)) return ReadResult::kCannotOpen;
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReadResult::kCannotOpen;
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
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? OutputState::kNew : OutputState::kRefused;
  }
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
    return OutputState::kRefused;
  }
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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

// Writes all of data to the file that handle opened, and closes it. 1 only
// when every byte went out and the close succeeded.
int WriteAndClose(HANDLE file, const char* data, uint32_t size) {
  const bool wrote = WriteAll(file, data, size);
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
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER old_size;
  bool ok = GetFileSizeEx(file, &old_size) && ReserveRoom(file, old_size.QuadPart, size);
  ok = ok && SeekTo(file, 0) && WriteAll(file, data, size) && SetLength(file, size);
  const bool closed = CloseHandle(file);
  return ok && closed ? 1 : 0;
}

// Length of the folder part of path, its trailing separator included; 0 when
// the path names no folder.
size_t FolderLength(const char* path) {
  size_t end = 0;
  for (size_t i = 0; path[i] != '\0'; i++) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '\\' || c == '/' || c == ':') end = i + 1;
    // The second byte of a double-byte character is never a separator.
    if (IsDBCSLeadByte(c) && path[i + 1] != '\0') i++;
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

// Creates a new, empty temporary file beside path: its name goes to temporary
// (MAX_PATH bytes). INVALID_HANDLE_VALUE with *fits false when no such name
// fits in MAX_PATH.
HANDLE CreateTemporaryBeside(const char* path, char* temporary, bool* fits) {
  const size_t folder = FolderLength(path);
  const size_t kNameLength = sizeof("kv01234567.tmp") - 1;
  *fits = folder + kNameLength <= kMaxPathBytes;
  if (!*fits) return INVALID_HANDLE_VALUE;
  memcpy(temporary, path, folder);
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 64; attempt++, seed = seed * 1103515245u + 12345u) {
    wsprintfA(temporary + folder, "kv%08lx.tmp", static_cast<unsigned long>(seed));
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes through a temporary file beside the output, then moves it over the
// output. On failure the temporary file is removed and the output is as it was.
TemporaryWrite WriteThroughTemporary(const char* path, const char* data, uint32_t size) {
  char temporary[MAX_PATH];
  bool fits = false;
  HANDLE file = CreateTemporaryBeside(path, temporary, &fits);
  if (!fits) return TemporaryWrite::kNoRoom;
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_ACCESS_DENIED ? TemporaryWrite::kRefusedByFolder
                                                 : TemporaryWrite::kFailed;
  }
  if (WriteAndClose(file, data, size) && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
    return TemporaryWrite::kDone;
  }
  DeleteFileA(temporary);
  return TemporaryWrite::kFailed;
}

// Writes a new output in place, for a folder so deep that no temporary name
// fits beside it. A failed write removes what it wrote; a file that appeared
// meanwhile is not touched.
int WriteNewInPlace(const char* path, const char* data, uint32_t size) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  if (WriteAndClose(file, data, size)) return 1;
  DeleteFileA(path);
  return 0;
}

int WriteNewFile(const char* path, const char* data, uint32_t size) {
  switch (WriteThroughTemporary(path, data, size)) {
    case TemporaryWrite::kDone:
      return 1;
    case TemporaryWrite::kNoRoom:
      return WriteNewInPlace(path, data, size);
    case TemporaryWrite::kRefusedByFolder:
    case TemporaryWrite::kFailed:
      break;
  }
  return 0;
}

// Replaces an existing file whole where a temporary file can be made beside
// it; otherwise rewrites it in place, so it is never removed.
int ReplaceExistingFile(const char* path, const char* data, uint32_t size) {
  switch (WriteThroughTemporary(path, data, size)) {
    case TemporaryWrite::kDone:
      return 1;
    case TemporaryWrite::kNoRoom:
    case TemporaryWrite::kRefusedByFolder:
      return RewriteInPlace(path, data, size);
    case TemporaryWrite::kFailed:
      break;
  }
  return 0;
}

// Copies the path under which the system keeps the open file at path, that
// of the file itself when path leads through symbolic links, into final_path
// (MAX_PATH bytes), without the "\\?\" prefix. False when there is none that
// the ANSI functions can use.
bool FinalPath(const char* path, char* final_path) {
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char found[MAX_PATH + 8];
  const DWORD length = GetFinalPathNameByHandleA(file, found, sizeof(found), FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= sizeof(found)) return false;
  const char* rest = found;
  const bool unc = strncmp(found, "\\\\?\\UNC\\", 8) == 0;
  if (unc) {
    rest = found + 6;  // "C\" of "UNC\", made the two backslashes of "\\server"
  } else if (strncmp(found, "\\\\?\\", 4) == 0) {
    rest = found + 4;
  }
  // A '?' stands for a character the ANSI code page cannot spell.
  if (strchr(unc ? rest + 2 : rest, '?') != nullptr || !PathFits(rest)) return false;
  strcpy(final_path, rest);
  if (unc) final_path[0] = '\\';
  return true;
}

// Writes an existing output where it really is: behind a symbolic link, the
// file the link points to, so the link stays a link.
int WriteExistingFile(const char* path, OutputState state, const char* data, uint32_t size) {
  char target[MAX_PATH];
  const char* where = FinalPath(path, target) ? target : path;
  if (where != path) state = ProbeOutput(where);
  switch (state) {
    case OutputState::kPlain:
      return ReplaceExistingFile(where, data, size);
    case OutputState::kHardLinked:
      // Replacing it would leave its other names with the old text.
      return RewriteInPlace(where, data, size);
    case OutputState::kSymbolic:
      // A reparse point that leads nowhere else (a file kept by a sync or
      // dedup service), or a link that could not be followed.
      return RewriteInPlace(where, data, size);
    case OutputState::kNew:
    case OutputState::kRefused:
      break;
  }
  return 0;
}

int WriteWholeFile(const char* path, const char* data, uint32_t size) {
  if (!PathFits(path)) return 0;
  const OutputState state = ProbeOutput(path);
  if (state == OutputState::kRefused) return 0;
  if (state == OutputState::kNew) return WriteNewFile(path, data, size);
  return WriteExistingFile(path, state, data, size);
}

// Reads the identity of the file at path: the volume's serial number and the
// file's index on it, which every name of one file shares.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool read = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return read;
}

int IsSameFile(const char* path, const char* other) {
  if (!PathFits(path) || !PathFits(other)) return 0;
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

int ShowWarning(const char* message, const char* path) {
  wchar_t caption[32];
  if (MultiByteToWideChar(kShiftJisCodePage, 0, kProgramCaption, -1, caption, 32) == 0)
    caption[0] = 0;
  if (message == nullptr) message = "";
  const int message_length = WideLength(kShiftJisCodePage, message);
  const int path_length = path != nullptr ? WideLength(CP_ACP, path) : 0;
  if (message_length < 0 || path_length < 0) return 0;
  const int room = message_length + 2 + path_length + 1;
  wchar_t* text = static_cast<wchar_t*>(MemAlloc(sizeof(wchar_t) * room));
  if (text == nullptr) {
    // Out of memory: still tell the user what failed, without the path.
    wchar_t short_text[64];
    if (MultiByteToWideChar(kShiftJisCodePage, 0, message, -1, short_text, 64) == 0) {
      short_text[0] = 0;
    }
    return MessageBoxW(nullptr, short_text, caption, MB_OK | MB_ICONWARNING);
  }
  int end = AppendWide(kShiftJisCodePage, message, text, room);
  if (path != nullptr) {
    text[end++] = L'\n';
    text[end++] = L'\n';
    end += AppendWide(CP_ACP, path, text + end, room - end);
  }
  text[end] = L'\0';
  const int result = MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONWARNING);
  MemFree(text);
  return result;
}

constexpr Platform kWin32Platform = {ReadWholeFile, WriteWholeFile, IsSameFile, ShowWarning};

}  // namespace

const Platform* DefaultPlatform() {
  return &kWin32Platform;
}

}  // namespace kelvane
