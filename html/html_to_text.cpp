// HTML to plain text: comments out, body located, then one forward scan that
// alternates between text runs (whitespace folded, references resolved) and
// tags (a handful give line breaks, tabs or an image's alternative text).
// This file holds the scan and the tag actions; text_scan.h says how the
// output is written over the clean copy behind the scan.
//
// Conventions: every scan works on the clean copy, a NUL-terminated block
// without comments, through `const unsigned char*` pointers with an explicit
// end (its NUL). Appends to the clean copy and the title are not checked one
// by one: a buffer remembers a failed growth and its termination then reports
// 0, which fails the call.
//
// Some forward searches of a reference or an image tag may run far past the
// place that asked (to the end of the text at worst). Each keeps the first
// match it found; a later search from a point not beyond that match has the
// same answer, so no byte is searched twice and the whole scan stays linear.
#include "html/html_to_text.h"

#include <bit>
#include <cstring>

#include "common/buffers.h"
#include "common/heap.h"
#include "common/invariant.h"
#include "common/vector_scan.h"
#include "common/word_scan.h"
#include "html/clean_copy.h"
#include "html/element_names.h"
#include "html/markup_table_build.h"
#include "html/references.h"
#include "html/text_scan.h"

namespace kelvane {
namespace {

// Element ids the tag actions act on.
constexpr int kBlockquote = ElementIdOf("BLOCKQUOTE");
constexpr int kDiv = ElementIdOf("DIV");
constexpr int kH1 = ElementIdOf("H1");
constexpr int kH6 = ElementIdOf("H6");
constexpr int kLi = ElementIdOf("LI");
constexpr int kP = ElementIdOf("P");
constexpr int kPre = ElementIdOf("PRE");
constexpr int kTable = ElementIdOf("TABLE");
constexpr int kTd = ElementIdOf("TD");
constexpr int kTr = ElementIdOf("TR");
constexpr int kBr = ElementIdOf("BR");
constexpr int kHr = ElementIdOf("HR");
constexpr int kImg = ElementIdOf("IMG");
static_assert(kH6 - kH1 == 5, "the headings are six consecutive ids");

// Byte classes of a folded run.
constexpr Byte kOrdinary = 0;
constexpr Byte kSpace = 1;
constexpr Byte kAmpersand = 2;

struct RunClasses {
  Byte of[256];
};

constexpr RunClasses MakeRunClasses() {
  RunClasses t{};
  t.of[0x20] = t.of[0x09] = t.of[0x0D] = t.of[0x0A] = kSpace;  // space, tab, CR, LF
  t.of[0x26] = kAmpersand;                                     // &
  return t;
}

constexpr RunClasses kRunClasses = MakeRunClasses();

// Marks on a word's bytes below 0x21 and its "&": the bytes that end an
// ordinary stretch.
uint64_t OtherBytes(uint64_t word) {
  return BytesBelow(word, 0x21) | BytesEqualTo(word, '&');
}

// Whether p, before end, holds an ordinary byte that is not the "<" ending
// its run.
bool IsOrdinaryInRun(const Byte* p, const Byte* end) {
  return p < end && kRunClasses.of[*p] == kOrdinary && *p != '<';
}

// Copies the ordinary bytes from p, which is one, up to the first byte that is
// not ordinary or is a "<", and returns that byte. Blocks where the machine has
// vector scans, then words, are tested and copied in the same step; the block
// or word that holds the first stop is stored whole and the output moves on to
// that byte. A stop is always found before the text's NUL at
// end, which is below 0x21 itself.
const Byte* CopyOrdinary(Scan* scan, const Byte* p) {
  const Byte* const end = scan->end;
  MakeRoom(scan, 1, p);
  Byte* d = scan->out;
  *d++ = *p++;
  if constexpr (kVectorScans) {
    // The same, a block at a time: Japanese text runs long between stops.
    while (end - p >= kBlockBytes) {
      if (d + kBlockBytes > scan->guard) {
        scan->out = d;
        MoveReadersOn(scan, p);
      }
      CheckInvariant(d + kBlockBytes <= p);  // the store reaches no byte still to be read
      const ByteBlock block = LoadBlock(p);
      StoreBlock(d, block);
      const uint64_t stops = Marks(MatchEither(
          MatchBelow(block, 0x21), MatchEither(MatchByte(block, '&'), MatchByte(block, '<'))));
      if (stops != 0) {
        const int ordinary = FirstMarked(stops);
        scan->out = d + ordinary;
        return p + ordinary;
      }
      d += kBlockBytes;
      p += kBlockBytes;
    }
  }
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      if (d + 8 > scan->guard) {
        scan->out = d;
        MoveReadersOn(scan, p);
      }
      uint64_t word;
      std::memcpy(&word, p, 8);
      std::memcpy(d, &word, 8);
      const uint64_t stops = OtherBytes(word) | BytesEqualTo(word, '<');
      if (stops != 0) {
        const int ordinary = FirstMarkedByte(stops);
        scan->out = d + ordinary;
        return p + ordinary;
      }
      d += 8;
      p += 8;
    }
  }
  scan->out = d;
  while (IsOrdinaryInRun(p, end)) {
    Put(scan, *p, p);
    ++p;
  }
  return p;
}

// Whitespace folding of one run: set afresh at the run's start.
struct Fold {
  bool pending;   // whitespace seen since the last byte emitted
  bool at_start;  // nothing of the run emitted yet
};

// Before the byte at q, which is not whitespace: the whitespace since the last
// byte emitted becomes one space, unless the run has emitted nothing yet.
void EmitFoldedSpace(Scan* scan, Fold* fold, const Byte* q) {
  if (fold->pending && !fold->at_start) Put(scan, ' ', q);
  fold->pending = false;
  fold->at_start = false;
}

// The run from p up to its end (its "<"), once that end is known: whitespace
// at either end vanishes and each stretch between two other bytes becomes one
// space. A reference may end past the run, which then ends with it.
void ConvertFoldedRest(Scan* scan, const Byte* p, const Byte* end, Fold* fold) {
  while (p < end) {
    Byte kind = kRunClasses.of[*p];
    if (kind == kSpace) {
      fold->pending = true;
      ++p;
      continue;
    }
    EmitFoldedSpace(scan, fold, p);
    if (kind == kAmpersand) {
      p = ConvertReference(scan, p);
      continue;
    }
    p = CopyOrdinary(scan, p);
  }
}

// Outside preformatted text: the run from p, which a "<" is known to end, is
// converted while that "<" is looked for in the same words, so the run's bytes
// are read once; returns the "<". References are left to ConvertFoldedRest
// once the run's end has been found.
const Byte* ConvertFoldedRun(Scan* scan, const Byte* p) {
  Fold fold = {false, true};
  for (;;) {
    const Byte c = *p;
    if (c == '<') return p;
    if (p == scan->end) return nullptr;  // not reached while a "<" lies ahead
    const Byte kind = kRunClasses.of[c];
    if (kind == kSpace) {
      fold.pending = true;
      ++p;
      continue;
    }
    if (kind == kAmpersand) {
      const Byte* lt = FindByte(p + 1, scan->end, '<');
      ConvertFoldedRest(scan, p, lt, &fold);
      return lt;
    }
    EmitFoldedSpace(scan, &fold, p);
    p = CopyOrdinary(scan, p);
  }
}

// Inside preformatted text: whitespace passes through, except one line break
// (CR, LF or CRLF) at the head of the run.
void ConvertPreformattedRun(Scan* scan, const Byte* p, const Byte* end) {
  if (p < end && (*p == '\r' || *p == '\n')) {
    bool cr = *p == '\r';
    ++p;
    if (cr && p < end && *p == '\n') ++p;
  }
  while (p < end) {
    if (*p == '&') {
      p = ConvertReference(scan, p);
      continue;
    }
    const Byte* q = FindByte(p, end, '&');
    if (q == nullptr) q = end;
    PutSpan(scan, p, static_cast<std::size_t>(q - p), q);
    p = q;
  }
}

// An image's alternative text in brackets, when its "alt=" is usable.
void EmitAltText(Scan* scan, const Byte* lt, const Byte* gt) {
  const Byte* from = lt + 1;
  if (scan->next_alt == nullptr || scan->next_alt < from) {
    const Byte* found = FindAlt(from, scan->end);
    scan->next_alt = found != nullptr ? found : scan->end;
  }
  if (scan->next_alt >= gt) return;
  const Byte* value = scan->next_alt + 4;
  const Byte* value_end;
  if (*value == '"') {
    ++value;
    value_end = FindByte(value, gt, '"');
    if (value_end == nullptr) return;
  } else {
    value_end = FindByte(value, gt, ' ');
    if (value_end == nullptr) value_end = gt;
  }
  Put(scan, '[', value_end);
  PutSpan(scan, value, static_cast<std::size_t>(value_end - value), value_end);
  Put(scan, ']', value_end);
}

void ActOnStartTag(Scan* scan, int id, const Byte* lt, const Byte* gt) {
  if (id == kH1) {
    Put(scan, '\n', lt);
    Put(scan, '\n', lt);
  } else if ((id > kH1 && id <= kH6) || id == kDiv || id == kTable || id == kBr || id == kHr) {
    Put(scan, '\n', lt);
  } else if (id == kP) {
    Put(scan, '\n', lt);
    if (scan->paragraph_open) Put(scan, '\n', lt);
    scan->paragraph_open = true;
  } else if (id == kLi) {
    if (scan->item_open) Put(scan, '\n', lt);
    scan->item_open = true;
  } else if (id == kPre) {
    scan->preformatted = true;
  } else if (id == kImg) {
    EmitAltText(scan, lt, gt);
  }
}

void ActOnEndTag(Scan* scan, int id, const Byte* lt) {
  if (id == kBlockquote || id == kDiv || (id >= kH1 && id <= kH6) || id == kTr) {
    Put(scan, '\n', lt);
  } else if (id == kP) {
    Put(scan, '\n', lt);
    scan->paragraph_open = false;
  } else if (id == kLi) {
    Put(scan, '\n', lt);
    scan->item_open = false;
  } else if (id == kPre) {
    scan->preformatted = false;
  } else if (id == kTd) {
    Put(scan, '\t', lt);
  }
}

// The tag from lt to its ">" at gt.
void ActOnTag(Scan* scan, const Byte* lt, const Byte* gt) {
  bool end_tag = lt[1] == '/';
  const Byte* name = end_tag ? lt + 2 : lt + 1;
  int id = LookupTagName(&scan->elements, name, scan->end);
  if (end_tag) {
    ActOnEndTag(scan, id, lt);
  } else {
    ActOnStartTag(scan, id, lt, gt);
  }
}

// Output bytes between two publications of a scan's progress: often enough
// for the reader to keep pace, rare enough to cost nothing.
constexpr std::ptrdiff_t kPublishEvery = 64 << 10;

// Every byte behind the write position is final: the scan only writes ahead
// of it.
void Publish(Scan* scan) {
  scan->published = scan->out;
  scan->progress->final_bytes.store(static_cast<uint32_t>(scan->out - scan->output_start),
                                    std::memory_order_release);
}

void RunMainScan(Scan* scan, const Byte* p) {
  for (;;) {
    // Text after the last tag is not emitted.
    if (scan->last_lt == nullptr || p > scan->last_lt) return;
    const Byte* lt;
    if (scan->preformatted) {
      lt = FindByte(p, scan->end, '<');
      ConvertPreformattedRun(scan, p, lt);
    } else {
      lt = ConvertFoldedRun(scan, p);
    }
    if (lt == nullptr) return;
    const Byte* gt = FindByte(lt + 1, scan->end, '>');
    if (gt == nullptr) return;
    p = gt + 1;
    ActOnTag(scan, lt, gt);
    if (scan->progress != nullptr && scan->out - scan->published >= kPublishEvery) {
      Publish(scan);
    }
  }
}

}  // namespace

char* HtmlToText(const char* text, char** title) {
  if (text == nullptr) return nullptr;
  return HtmlToTextOfLength(text, std::strlen(text), title, nullptr);
}

namespace {

// Where the main scan starts: after the body's start tag and the line breaks
// that follow it; null when that tag has no ">".
const Byte* ScanStart(const Byte* begin, const Byte* end) {
  const Byte* start = BodyStart(begin, end);
  if (start == nullptr) return nullptr;
  while (start < end && (*start == '\r' || *start == '\n')) ++start;
  return start;
}

// The outcome of a call that shows progress, unless it was refused as read.
void SetOutcome(TextProgress* progress, const char* output) {
  if (progress->outcome.load(std::memory_order_relaxed) == TextProgress::kTextRunning) {
    progress->outcome.store(output != nullptr ? TextProgress::kTextDone : TextProgress::kTextFailed,
                            std::memory_order_release);
  }
}

char* RefuseAsRead(TextProgress* progress) {
  progress->outcome.store(TextProgress::kTextRefusedAsRead, std::memory_order_release);
  return nullptr;
}

// The steps after the clean copy: clean holds it from lead on, NUL-terminated,
// with room for the output ahead of it. Releases or hands over both buffers.
char* ScanCleanCopy(TextBuffer* clean_copy, uint32_t lead, TextBuffer* title_copy, char** title,
                    uint32_t* text_length, TextProgress* progress) {
  TextBuffer& clean = *clean_copy;
  TextBuffer& title_buffer = *title_copy;
  Byte* const block = reinterpret_cast<Byte*>(clean.data);
  const Byte* begin = block + lead;
  const Byte* end = block + clean.length;
  if (title != nullptr) CopyTitle(&title_buffer, begin, end);

  const Byte* start = ScanStart(begin, end);
  if (start == nullptr) {
    ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return nullptr;
  }

  Scan scan = {};
  scan.end = end;
  scan.last_lt = FindLastByte(start, end, '<');
  scan.out = block;
  scan.guard = end;
  scan.progress = progress;
  scan.output_start = block;
  scan.published = block;
  InitNumberReader(&scan.decimal, 10, start);
  InitNumberReader(&scan.hexadecimal, 16, start);
  if (progress != nullptr) progress->block.store(clean.data, std::memory_order_release);
  RunMainScan(&scan, start);
  // The clean copy now holds the output, which ends before the copy's NUL.
  clean.length = static_cast<uint32_t>(scan.out - block);

  int ok = TerminateTextBuffer(&clean);
  if (title != nullptr && !TerminateTextBuffer(&title_buffer)) ok = 0;
  // A table that lost a name during this call may have misread a tag or a
  // reference; it is built anew on the next call.
  if (!MarkupTablesComplete()) ok = 0;
  if (!ok) {
    // A published block may still be read: the caller releases it.
    if (progress == nullptr) ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return nullptr;
  }
  if (progress != nullptr) progress->final_bytes.store(clean.length, std::memory_order_release);
  if (title != nullptr) {
    *title = HandOverTextBuffer(&title_buffer);
  } else {
    ReleaseTextBuffer(&title_buffer);
  }
  // The output holds no NUL: the clean copy ends at the text's first one, and
  // a reference to U+0000 is left as it stands.
  if (text_length != nullptr) *text_length = clean.length;
  return HandOverTextBuffer(&clean);
}

// HtmlToTextOfLength, and with progress not null HtmlToTextShowingProgress
// without its outcome.
char* ConvertText(const char* text, std::size_t length, char** title, uint32_t* text_length,
                  TextProgress* progress) {
  const bool as_read = progress != nullptr && progress->as_read;
  if (text == nullptr) return nullptr;
  if (text[0] == 0) return as_read ? RefuseAsRead(progress) : nullptr;
  CheckInvariant(as_read || std::strlen(text) == length);
  ForgetIncompleteMarkupTables();

  TextBuffer clean;
  TextBuffer title_buffer;
  InitTextBuffer(&clean);
  InitTextBuffer(&title_buffer);
  const Byte* input = reinterpret_cast<const Byte*>(text);
  // The lead, then the copy; one growth, as the copy is no longer than the text.
  if (length > UINT32_MAX - kLead - 1) clean.failed = 1;
  if (clean.failed == 0) {  // the first block holds the lead
    std::memset(clean.data, 0, kLead);
    clean.length = kLead;
    ReserveTextBuffer(&clean, static_cast<uint32_t>(length) + 1);
    if (!as_read) {
      CopyWithoutComments(&clean, input, input + length);
    } else if (clean.failed != 0 ||
               !CopyWithoutCommentsUnlessCrOrNul(&clean, input, input + length)) {
      ReleaseTextBuffer(&clean);
      ReleaseTextBuffer(&title_buffer);
      return RefuseAsRead(progress);
    }
  }
  if (!TerminateTextBuffer(&clean)) {
    ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return as_read ? RefuseAsRead(progress) : nullptr;
  }
  return ScanCleanCopy(&clean, kLead, &title_buffer, title, text_length, progress);
}

}  // namespace

namespace {

// HtmlToTextInBlock without its outcome.
char* ConvertInBlock(char* text, uint32_t length, uint32_t* text_length, TextProgress* progress) {
  if (text == nullptr) return nullptr;
  if (text[0] == 0) {
    MemFree(text);
    return nullptr;
  }
  CheckInvariant(std::strlen(text) == length);
  if (length > UINT32_MAX - 1 - kLead) {
    MemFree(text);
    return nullptr;
  }
  ForgetIncompleteMarkupTables();
  Byte* const begin = reinterpret_cast<Byte*>(text);
  Byte* end = RemoveCommentsInPlace(begin, begin + length);
  *end = 0;
  TextBuffer clean = {text, length + 1, static_cast<uint32_t>(end - begin), 1, 0};
  uint32_t lead = 0;
  // The output starts at the block's start, at least kLead bytes behind the
  // scan; a scan that starts nearer moves the text on first.
  const Byte* start = ScanStart(begin, end);
  if (start != nullptr && start - begin < kLead) {
    char* grown = static_cast<char*>(MemResize(text, std::size_t{clean.length} + 1 + kLead));
    if (grown == nullptr) {
      MemFree(text);
      return nullptr;
    }
    std::memmove(grown + kLead, grown, std::size_t{clean.length} + 1);
    clean.data = grown;
    clean.capacity = clean.length + 1 + kLead;
    clean.length += kLead;
    lead = kLead;
  }
  TextBuffer title_buffer = {};  // no title is asked for, so it stays empty
  return ScanCleanCopy(&clean, lead, &title_buffer, nullptr, text_length, progress);
}

}  // namespace

char* HtmlToTextInBlock(char* text, uint32_t length, uint32_t* text_length,
                        TextProgress* progress) {
  char* output = ConvertInBlock(text, length, text_length, progress);
  if (progress != nullptr) SetOutcome(progress, output);
  return output;
}

char* HtmlToTextOfLength(const char* text, std::size_t length, char** title,
                         uint32_t* text_length) {
  return ConvertText(text, length, title, text_length, nullptr);
}

char* HtmlToTextShowingProgress(const char* text, std::size_t length, uint32_t* text_length,
                                TextProgress* progress) {
  if (progress == nullptr) return nullptr;
  char* output = ConvertText(text, length, nullptr, text_length, progress);
  SetOutcome(progress, output);
  return output;
}

}  // namespace kelvane
