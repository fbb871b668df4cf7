// The driver's operating-system table on POSIX systems.
//
// Reading takes one snapshot of a regular file into a block with three NUL
// bytes behind the data; a file whose size changes during the read is
// refused, and anything that is not a regular file has no size to trust and
// is refused without blocking. A large file is viewed instead where the heap
// can map it (MemMapFile); the driver then refuses a text whose file shrank
// while it was viewed (MemViewWasCut).
//
// Writing never loses an existing output. A new output, or an existing one
// with no other name, is written to a temporary file in the output's folder,
// which replaces the output by rename only after every byte has been written
// and the file closed; every failure removes the temporary file. An output
// reached through a symbolic link is handled the same way in the folder of
// the file the link points to, so the link stays and its target gets the
// text. Only a file with a second hard link (which a rename would split from
// its other names), or one in a folder that takes no new files, is rewritten
// where it is: its space for the new text is reserved first, so a full disk
// fails before its first byte changes, and a text that comes in parts is
// gathered whole for it first. Warnings go to stderr as one UTF-8
// line each: "kelvane: ", the message, the path as given.

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/output_parts.h"
#include "app/platform.h"
#include "common/heap.h"
#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

// The largest file whose size and three NUL bytes still fit in 32 bits, which
// every later stage counts in.
constexpr uint64_t kMaxFileSize = UINT32_MAX - 3;
// From this size on a file is viewed where the heap can map it, not read:
// reading copies it into fresh pages, the dearest part of a large conversion.
constexpr std::size_t kViewFrom = std::size_t{1} << 20;

// Reads exactly size bytes; false on an error or an early end of file.
bool ReadFully(int fd, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Whether a read finds nothing more; spare is room for the one byte it asks
// for.
bool AtEndOfFile(int fd, char* spare) {
  ssize_t got;
  do {
    got = read(fd, spare, 1);
  } while (got < 0 && errno == EINTR);
  return got == 0;
}

ReadResult ReadOpenFile(int fd, char** block, uint32_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0) return ReadResult::kInvalidSize;
  if (S_ISDIR(info.st_mode)) return ReadResult::kCannotOpen;
  // Pipes, devices and sockets report no size to read by.
  if (!S_ISREG(info.st_mode)) return ReadResult::kInvalidSize;
  if (info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > kMaxFileSize) {
    return ReadResult::kInvalidSize;
  }
  std::size_t length = static_cast<std::size_t>(info.st_size);
  if (length >= kViewFrom) {
    char* view = static_cast<char*>(MemMapFile(fd, length));
    if (view != nullptr) {
      // A file that changed size while it was mapped is refused as below.
      if (fstat(fd, &info) != 0 || static_cast<uint64_t>(info.st_size) != length) {
        MemFree(view);
        return ReadResult::kCannotOpen;
      }
      *block = view;
      *size = static_cast<uint32_t>(length);
      return ReadResult::kOk;
    }
  }
  char* data = static_cast<char*>(MemAlloc(length + 3));
  if (data == nullptr) return ReadResult::kOutOfMemory;
  // A file that changed size since fstat is being written: refused like a
  // file that cannot be opened. One that shrank gives a short read, so no
  // byte that was not read reaches the output; one that grew still has bytes
  // to read, and converting only the first part would pass a cut text off as
  // the whole page.
  if (!ReadFully(fd, data, length) || !AtEndOfFile(fd, data + length)) {
    MemFree(data);
    return ReadResult::kCannotOpen;
  }
  data[length] = data[length + 1] = data[length + 2] = '\0';
  *block = data;
  *size = static_cast<uint32_t>(length);
  return ReadResult::kOk;
}

ReadResult ReadWholeFile(const char* path, char** block, uint32_t* size) {
  *block = nullptr;
  *size = 0;
  // O_NONBLOCK keeps a FIFO without a writer from hanging the open.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ReadResult::kCannotOpen;
  ReadResult result = ReadOpenFile(fd, block, size);
  close(fd);
  return result;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// What the output takes over from the file it replaces: its mode and, as far as
// the user may give them, its owner and group. A new file gets the usual mode.
struct OutputIdentity {
  mode_t mode;
  bool replaces;   // an existing file is replaced; uid and gid are its owners
  bool regular;    // the existing file is a regular file
  bool symbolic;   // the name is a symbolic link to it
  bool hard_link;  // it has other names besides the one it is reached by
  uid_t uid;
  gid_t gid;
};

// Checks that the output may be written and fills in its identity. False when
// the name is taken by a folder, or an existing file refuses writing
// (read-only, or a FIFO nobody reads: O_NONBLOCK makes that fail, not wait).
bool ProbeOutput(const char* path, OutputIdentity* identity) {
  struct stat info;
  if (stat(path, &info) != 0) {
    if (errno != ENOENT) return false;
    *identity = {static_cast<mode_t>(0666 & ~CurrentUmask()), false, false, false, false, 0, 0};
    return true;
  }
  if (S_ISDIR(info.st_mode)) return false;
  // A file nobody may write is read-only, also for root, who would otherwise
  // replace it: the user marked it so, as with the read-only attribute.
  if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) return false;
  int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  struct stat name;
  const bool symbolic = lstat(path, &name) == 0 && S_ISLNK(name.st_mode);
  *identity = {static_cast<mode_t>(info.st_mode & 0777),
               true,
               S_ISREG(info.st_mode) != 0,
               symbolic,
               info.st_nlink > 1,
               info.st_uid,
               info.st_gid};
  return true;
}

// A new block holding a mkstemp template in the folder of path.
char* TemporaryTemplate(const char* path) {
  static const char kName[] = ".kelvane-XXXXXX";
  const char* slash = std::strrchr(path, '/');
  std::size_t folder = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
  char* name = static_cast<char*>(MemAlloc(folder + sizeof(kName)));
  if (name == nullptr) return nullptr;
  std::memcpy(name, path, folder);
  std::memcpy(name + folder, kName, sizeof(kName));
  return name;
}

// Writes all size bytes, going on after short writes and interruptions.
bool WriteFully(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = write(fd, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool PutToFile(void* fd, const char* data, uint32_t size) {
  return WriteFully(*static_cast<int*>(fd), data, size);
}

// What became of a write through a temporary file.
enum class TemporaryWrite { kDone, kFailed, kRefusedByFolder };

// Fills the temporary file and puts it in place of path. On failure the
// temporary file is removed, and path is as it was.
TemporaryWrite FillAndRename(const char* path, char* temp_path, const OutputIdentity& identity,
                             OutputParts parts) {
  int fd = mkstemp(temp_path);
  if (fd < 0) {
    return errno == EACCES || errno == EPERM ? TemporaryWrite::kRefusedByFolder
                                             : TemporaryWrite::kFailed;
  }
  if (identity.replaces) {
    // Keeps the replaced file's owner and group where the user may (root, or a
    // group the user is in); otherwise the new file is simply the user's own.
    (void)!fchown(fd, identity.uid, identity.gid);
  }
  bool ok = PutEveryPart(parts, PutToFile, &fd) && fchmod(fd, identity.mode) == 0;
  // close reports a delayed write error (for example on a network file system).
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp_path, path) == 0;
  if (!ok) unlink(temp_path);
  return ok ? TemporaryWrite::kDone : TemporaryWrite::kFailed;
}

TemporaryWrite ReplaceWithTemporary(const char* path, const OutputIdentity& identity,
                                    OutputParts parts) {
  char* temp_path = TemporaryTemplate(path);
  if (temp_path == nullptr) return TemporaryWrite::kFailed;
  TemporaryWrite result = FillAndRename(path, temp_path, identity, parts);
  MemFree(temp_path);
  return result;
}

// Makes sure the disk holds size bytes for the open file before any of its
// bytes change. Reserving never touches what the file holds; when it fails
// the file gets its old length back, since a reservation made by writing
// zeros (where the file system has no fallocate) may have lengthened it.
bool ReserveRoom(int fd, off_t old_size, off_t size) {
  if (size == 0) return true;
  int result;
  do {
    result = posix_fallocate(fd, 0, size);
  } while (result == EINTR);
  if (result == 0) return true;
  (void)!ftruncate(fd, old_size);
  return false;
}

// Rewrites the existing regular file at path with data; its mode, owner and
// other names stay. The room for the new text is reserved first, so a full
// disk leaves the old text whole; only a failure after that (an I/O error)
// can leave it partly rewritten, and is reported.
bool RewriteInPlace(const char* path, const char* data, uint32_t size) {
  int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ReserveRoom(fd, info.st_size, static_cast<off_t>(size));
  ok = ok && WriteFully(fd, data, size) && ftruncate(fd, static_cast<off_t>(size)) == 0;
  return close(fd) == 0 && ok;
}

// The same for a text in parts, which it gathers first: the room is reserved
// for the whole text before any byte changes.
bool RewriteInPlace(const char* path, OutputParts parts) {
  const char* data = nullptr;
  uint32_t size = 0;
  char* owned = nullptr;
  if (!GatherParts(parts, &data, &size, &owned)) return false;
  const bool ok = RewriteInPlace(path, data, size);
  MemFree(owned);
  return ok;
}

// Puts the text into the existing regular file at path (the link's target,
// for a symbolic link): replaced whole where it has no other name and its
// folder takes a temporary file (refused before any part is asked for),
// rewritten in place otherwise.
bool WriteExistingFile(const char* path, const OutputIdentity& identity, OutputParts parts) {
  if (!identity.hard_link) {
    TemporaryWrite result = ReplaceWithTemporary(path, identity, parts);
    if (result != TemporaryWrite::kRefusedByFolder) return result == TemporaryWrite::kDone;
  }
  return RewriteInPlace(path, parts);
}

int WriteFileInParts(const char* path, NextPart next_part, void* source) {
  const OutputParts parts{next_part, source};
  OutputIdentity identity;
  if (!ProbeOutput(path, &identity)) return 0;
  // A new file; or a name held by a device or a FIFO with a reader, which the
  // new file replaces.
  if (!identity.regular) {
    return ReplaceWithTemporary(path, identity, parts) == TemporaryWrite::kDone ? 1 : 0;
  }
  if (!identity.symbolic) return WriteExistingFile(path, identity, parts) ? 1 : 0;
  // The file the link points to, so a rename beside it keeps the link.
  char target[PATH_MAX];
  // A link whose target has no name that fits: written through, in place.
  if (realpath(path, target) == nullptr) return RewriteInPlace(path, parts) ? 1 : 0;
  return WriteExistingFile(target, identity, parts) ? 1 : 0;
}

int WriteWholeFile(const char* path, const char* data, uint32_t size) {
  WholeText text{data, size, false};
  return WriteFileInParts(path, NextOfWholeText, &text);
}

// 1 when both paths name one existing file, whatever links lead to it.
int IsSameFile(const char* a, const char* b) {
  struct stat first;
  struct stat second;
  if (stat(a, &first) != 0 || stat(b, &second) != 0) return 0;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino ? 1 : 0;
}

// Writes one UTF-16 unit as UTF-8.
void PutUtf8(uint16_t unit, std::FILE* out) {
  if (unit < 0x80) {
    std::fputc(unit, out);
  } else if (unit < 0x800) {
    std::fputc(0xC0 | (unit >> 6), out);
    std::fputc(0x80 | (unit & 0x3F), out);
  } else {
    std::fputc(0xE0 | (unit >> 12), out);
    std::fputc(0x80 | ((unit >> 6) & 0x3F), out);
    std::fputc(0x80 | (unit & 0x3F), out);
  }
}

// Writes Shift-JIS text as UTF-8; a code the table lacks shows as '?'.
void PutCp932AsUtf8(const char* text, std::FILE* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    uint16_t code = *p++;
    if (IsCp932LeadByte(static_cast<uint8_t>(code)) && *p != 0) code = (code << 8) | *p++;
    uint16_t unit = Cp932ToUnicode(code);
    // The table gives 0 for an undefined code; a code that is 0 never gets here.
    PutUtf8(unit != 0 ? unit : '?', out);
  }
}

// Stderr is unbuffered; one locked line keeps messages whole.
int ShowWarning(const char* message, const char* path) {
  flockfile(stderr);
  std::fputs("kelvane: ", stderr);
  PutCp932AsUtf8(message, stderr);
  if (path != nullptr) std::fputs(path, stderr);
  std::fputc('\n', stderr);
  int failed = std::ferror(stderr);
  funlockfile(stderr);
  return failed ? 0 : 1;
}

struct SecondJob {
  void (*job)(void*);
  void* argument;
};

void* RunSecondJob(void* start) {
  const SecondJob* second = static_cast<const SecondJob*>(start);
  second->job(second->argument);
  return nullptr;
}

// Processors this process may run on.
int UsableProcessors() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
  return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

// On a single processor the jobs run in order: side by side they would only
// take turns, and a job that waits for the other would spin away its turns.
void RunBoth(void (*job)(void*), void* first, void* second) {
  SecondJob start{job, second};
  pthread_t thread;
  if (UsableProcessors() < 2 || pthread_create(&thread, nullptr, RunSecondJob, &start) != 0) {
    job(first);
    job(second);
    return;
  }
  job(first);
  pthread_join(thread, nullptr);
}

constexpr Platform kPosixPlatform = {ReadWholeFile, WriteWholeFile, IsSameFile,
                                     ShowWarning,   RunBoth,        WriteFileInParts};

}  // namespace

const Platform* DefaultPlatform() {
  return &kPosixPlatform;
}

}  // namespace kelvane
