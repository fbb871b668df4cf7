// HTML to plain text: comments out, body located, then one forward scan that
// alternates between text runs (whitespace folded, references resolved) and
// tags (a handful give line breaks, tabs or an image's alternative text).
//
// Conventions: every scan works on the clean copy, a NUL-terminated block
// without comments, through `const unsigned char*` pointers with an explicit
// end (its NUL). Appends to the clean copy and the title are not checked one
// by one: a buffer remembers a failed growth and its termination then reports
// 0, which fails the call.
//
// The output is written over the clean copy, behind the scan, so the
// conversion touches no block beyond the copy and needs no growth. The copy
// starts kLead bytes into its block and the output at the block's start, and
// no step of the scan writes more bytes than it moves the scan on: a text byte
// or a space for one or more bytes read, a reference's replacement for a
// reference at least as long, a tag's line feeds, tab or bracketed
// alternative text for a longer tag. A reference whose ";" lies past a tag
// makes the scan go on after that tag, short of the ";", and its replacement
// and the tag's output together are still no longer than the reference's
// bytes before the tag and the tag. So the write position stays kLead bytes
// behind the read position, and no write, not even a whole word stored for a
// shorter copy, reaches a byte still to be read. The one reader of bytes
// behind the scan, a number reader's lower cursor, is moved on before the
// output reaches it (MakeRoom).
//
// Some forward searches of a reference or an image tag may run far past the
// place that asked (to the end of the text at worst). Each keeps the first
// match it found; a later search from a point not beyond that match has the
// same answer, so no byte is searched twice and the whole scan stays linear.
#include "html/html_to_text.h"

#include <bit>
#include <cstring>
#include <initializer_list>

#include "common/buffers.h"
#include "common/word_scan.h"
#include "encoding/cp932_form.h"
#include "html/markup_table_build.h"
#include "html/markup_tables.h"

namespace kelvane {
namespace {

using Byte = unsigned char;

// Element ids the tag tables act on.
constexpr int kBlockquote = 11;
constexpr int kDiv = 26;
constexpr int kH1 = 35;
constexpr int kH6 = 40;
constexpr int kLi = 53;
constexpr int kP = 64;
constexpr int kPre = 66;
constexpr int kTable = 79;
constexpr int kTd = 81;
constexpr int kTr = 87;
constexpr int kBr = kEmptyElementBit | 14;
constexpr int kHr = kEmptyElementBit | 41;
constexpr int kImg = kEmptyElementBit | 46;

// No element or entity name is this long, so a longer probe is unknown anyway.
constexpr std::size_t kLongestProbe = 64;

// Bytes in front of the clean copy, where the output starts: the least
// distance between the write and the read position, at least a word.
constexpr uint32_t kLead = 16;

Byte FoldAscii(Byte c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Byte>(c - 'A' + 'a') : c;
}

// 0-9 and A-Z/a-z as digit values 0..35; 0xFF for any other byte.
int DigitValue(Byte c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 0xFF;
}

// The rest of FindByte's search, from a point that does not hold c: the next
// 24 bytes a word at a time, and only a longer search pays for the call to
// memchr.
[[gnu::noinline]] const Byte* FindByteFar(const Byte* from, const Byte* end, Byte c) {
  constexpr std::ptrdiff_t kNearWords = 3;
  if constexpr (std::endian::native == std::endian::little) {
    for (std::ptrdiff_t i = 0; i < kNearWords && end - from >= 8; ++i) {
      uint64_t word;
      std::memcpy(&word, from, 8);
      const uint64_t found = BytesEqualTo(word, c);
      if (found != 0) return from + FirstMarkedByte(found);
      from += 8;
    }
  }
  constexpr std::ptrdiff_t kNearBytes = 8;
  const Byte* near_end = end - from > kNearBytes ? from + kNearBytes : end;
  for (; from < near_end; ++from) {
    if (*from == c) return from;
  }
  if (from >= end) return nullptr;
  return static_cast<const Byte*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
}

// The first c at or after from, before end; null when none. Tags, and often
// the text between them, are short, so the first byte and the first word are
// looked at here, inline, without a call.
inline const Byte* FindByte(const Byte* from, const Byte* end, Byte c) {
  // Tags often follow one another, so the byte sought is often the first.
  if (from < end && *from == c) return from;
  if constexpr (std::endian::native == std::endian::little) {
    if (end - from >= 8) {
      uint64_t word;
      std::memcpy(&word, from, 8);
      const uint64_t found = BytesEqualTo(word, c);
      if (found != 0) return from + FirstMarkedByte(found);
      return FindByteFar(from + 8, end, c);
    }
  }
  return FindByteFar(from, end, c);
}

// The last c before end, at or after begin; null when none. Pages end in
// markup, so the search from the end is short, and text without any c is
// read once, a word at a time.
const Byte* FindLastByte(const Byte* begin, const Byte* end, Byte c) {
  const Byte* p = end;
  while (p - begin >= 8) {
    uint64_t word;
    std::memcpy(&word, p - 8, 8);
    // Only the lowest mark is sure to be exact, so a marked word is looked at
    // byte by byte.
    if (BytesEqualTo(word, c) != 0) break;
    p -= 8;
  }
  while (p > begin) {
    --p;
    if (*p == c) return p;
  }
  return nullptr;
}

// First place at or after from where "<" and then pattern (lower case, ASCII
// letters matched in any case, other bytes exactly) stand; null when none.
const Byte* FindTagOpening(const Byte* from, const Byte* end, const char* pattern) {
  std::size_t n = std::strlen(pattern);
  for (const Byte* lt = FindByte(from, end, '<'); lt != nullptr; lt = FindByte(lt + 1, end, '<')) {
    if (static_cast<std::size_t>(end - lt - 1) < n) return nullptr;
    std::size_t i = 0;
    while (i < n && FoldAscii(lt[1 + i]) == static_cast<Byte>(pattern[i])) ++i;
    if (i == n) return lt;
  }
  return nullptr;
}

// First place at or after from where the exact bytes of pattern begin.
const Byte* FindBytes(const Byte* from, const Byte* end, const char* pattern) {
  std::size_t n = std::strlen(pattern);
  for (const Byte* p = FindByte(from, end, static_cast<Byte>(pattern[0])); p != nullptr;
       p = FindByte(p + 1, end, static_cast<Byte>(pattern[0]))) {
    if (static_cast<std::size_t>(end - p) < n) return nullptr;
    if (std::memcmp(p, pattern, n) == 0) return p;
  }
  return nullptr;
}

// First "alt=" (letters in any case) at or after from; null when none.
const Byte* FindAlt(const Byte* from, const Byte* end) {
  if (end - from < 4) return nullptr;
  for (const Byte* eq = FindByte(from + 3, end, '='); eq != nullptr;
       eq = FindByte(eq + 1, end, '=')) {
    if (FoldAscii(eq[-3]) == 'a' && FoldAscii(eq[-2]) == 'l' && FoldAscii(eq[-1]) == 't') {
      return eq - 3;
    }
  }
  return nullptr;
}

// Appends n bytes; a failure is remembered by the buffer.
void AppendSpan(TextBuffer* buffer, const Byte* p, std::size_t n) {
  if (n == 0) return;
  if (n > UINT32_MAX || !ReserveTextBuffer(buffer, static_cast<uint32_t>(n))) {
    buffer->failed = 1;
    return;
  }
  std::memcpy(buffer->data + buffer->length, p, n);
  buffer->length += static_cast<uint32_t>(n);
}

// A cursor over the text that folds every byte below its base into a running
// value, mod 2^32, and skips all others. Two cursors give the value of the
// digits between them: hi.value - lo.value * base^(hi.digits - lo.digits).
struct DigitCursor {
  const Byte* at;
  uint32_t value;
  uint64_t digits;
};

void Advance(DigitCursor* cursor, const Byte* to, int base) {
  const Byte* p = cursor->at;
  uint32_t value = cursor->value;
  uint64_t digits = cursor->digits;
  for (; p < to; ++p) {
    int d = DigitValue(*p);
    if (d < base) {
      value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
      ++digits;
    }
  }
  cursor->at = p;
  cursor->value = value;
  cursor->digits = digits;
}

// base^n mod 2^32 for the even bases used here: 0 from n = 32 on.
uint32_t PowerMod32(int base, uint64_t n) {
  if (n >= 32) return 0;
  uint32_t r = 1;
  for (uint64_t i = 0; i < n; ++i) r *= static_cast<uint32_t>(base);
  return r;
}

bool EndsDigits(Byte c, int base) {
  int d = DigitValue(c);
  return d >= base && d < 36;
}

// Reads the numbers of numeric references of one base. Their digit spans come
// in increasing order of start, and so of end: a span that begins past the
// last one's end starts the cursors afresh, and one that overlaps it reuses
// what the cursors and the search for a digit >= base already covered.
struct NumberReader {
  int base;
  const Byte* scanned;  // no digit >= base lies between the last start and here
  bool at_stop;         // *scanned is a digit >= base
  DigitCursor lo;
  DigitCursor hi;
};

void InitNumberReader(NumberReader* reader, int base, const Byte* start) {
  reader->base = base;
  reader->scanned = start;
  reader->at_stop = false;
  reader->lo = DigitCursor{start, 0, 0};
  reader->hi = reader->lo;
}

// ParseNumber (digits, end - digits, base) for the digits at [digits, end).
uint32_t ReadNumber(NumberReader* reader, const Byte* digits, const Byte* end) {
  if (digits >= reader->hi.at) {
    reader->lo = DigitCursor{digits, 0, 0};
    reader->hi = reader->lo;
  }
  if (digits > reader->scanned) {
    reader->scanned = digits;
    reader->at_stop = false;
  }
  if (!reader->at_stop) {
    const Byte* p = reader->scanned;
    while (p < end && !EndsDigits(*p, reader->base)) ++p;
    reader->scanned = p;
    reader->at_stop = p < end;
  }
  const Byte* stop = reader->scanned < end ? reader->scanned : end;
  Advance(&reader->lo, digits, reader->base);
  Advance(&reader->hi, stop, reader->base);
  return reader->hi.value -
         reader->lo.value * PowerMod32(reader->base, reader->hi.digits - reader->lo.digits);
}

// Recent element and entity lookups. Pages use a handful of tag and entity
// names over and over, and the tables stay the same during one call, so a
// remembered answer is the answer the trie would give. Names of up to 7 bytes
// are keyed by their bytes (folded for elements) and length; 0 marks an empty
// slot.
constexpr int kMemoSlots = 64;

struct NameMemo {
  uint64_t key[kMemoSlots];
  int id[kMemoSlots];
};

// The key of an entity name of n bytes, or 0 when it is too long to be
// remembered.
uint64_t MemoKey(const Byte* name, std::size_t n) {
  if (n == 0 || n > 7) return 0;
  uint64_t key = static_cast<uint64_t>(n) << 56;
  for (std::size_t i = 0; i < n; ++i) key |= static_cast<uint64_t>(name[i]) << (8 * i);
  return key;
}

// Where key is kept.
std::size_t MemoSlot(uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 58);
}

// The slot for key, filled by lookup when it holds another name.
int Remember(NameMemo* memo, uint64_t key, int (*lookup)(const char*, int), const Byte* name,
             std::size_t n) {
  const std::size_t slot = MemoSlot(key);
  if (memo->key[slot] != key) {
    memo->key[slot] = key;
    memo->id[slot] = lookup(reinterpret_cast<const char*>(name), static_cast<int>(n));
  }
  return memo->id[slot];
}

// Letters and digits, the bytes of a tag name.
struct NameBytes {
  bool of[256];
};

constexpr NameBytes MakeNameBytes() {
  NameBytes t{};
  for (int c = '0'; c <= '9'; ++c) t.of[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t.of[c] = t.of[c + ('a' - 'A')] = true;
  return t;
}

constexpr NameBytes kNameBytes = MakeNameBytes();

// Bit 7 set in each byte of a word that is an ASCII letter or digit. Each
// range test adds a constant that sets bit 7 from the range's low end on,
// and one that sets it past the high end; no byte carries into the next.
uint64_t NameByteBits(uint64_t word) {
  const uint64_t low7 = word & (0x7F * kEachByte);
  const uint64_t folded = low7 | (0x20 * kEachByte);  // A-Z to a-z; no other byte lands there
  const uint64_t letter =
      (folded + (0x80 - 'a') * kEachByte) & ~(folded + (0x7F - 'z') * kEachByte);
  const uint64_t digit = (low7 + (0x80 - '0') * kEachByte) & ~(low7 + (0x7F - '9') * kEachByte);
  return (letter | digit) & ~word & kHighBits;
}

// The memo key of a name made of the first n (1-7) bytes of word, folded.
uint64_t NameKey(uint64_t word, int n) {
  return ((word | 0x2020202020202020ULL) & ((uint64_t{1} << (8 * n)) - 1)) |
         static_cast<uint64_t>(n) << 56;
}

// The element id of the tag name at name: its letters and digits, read once
// for both its length and its memo key (for these bytes, setting 0x20 folds
// A-Z and changes nothing else). Most names are short and end within the
// first word, whose length is then found without a loop whose end varies
// from tag to tag. end is the text's NUL.
int LookupTagName(NameMemo* memo, const Byte* name, const Byte* end) {
  if (std::endian::native == std::endian::little && end - name >= 8) {
    uint64_t word;
    std::memcpy(&word, name, 8);
    // Most names end at a byte below "0" or at ">". The bytes before the first
    // of those, folded, are looked up in the memo, which holds only whole
    // names of letters and digits: a hit is such a name, ended there. Anything
    // else goes on to the exact measure below.
    const uint64_t ends = BytesBelow(word, '0') | BytesEqualTo(word, '>');
    const int guess = ends != 0 ? FirstMarkedByte(ends) : 0;
    if (guess != 0) {
      const uint64_t key = NameKey(word, guess);
      const std::size_t slot = MemoSlot(key);
      if (memo->key[slot] == key) return memo->id[slot];
    }
    const uint64_t others = ~NameByteBits(word) & kHighBits;
    if (others != 0) {
      const int n = FirstMarkedByte(others);
      if (n == 0) return LookupElement(reinterpret_cast<const char*>(name), 0);
      return Remember(memo, NameKey(word, n), LookupElement, name, static_cast<std::size_t>(n));
    }
  }
  std::size_t n = 0;
  uint64_t key = 0;  // keyed as the word above keys it: the first byte lowest
  while (n <= kLongestProbe && kNameBytes.of[name[n]]) {
    // Only a name of up to 7 bytes is keyed, and then all its bytes are here.
    if (n < 7) key |= static_cast<uint64_t>(name[n] | 0x20) << (8 * n);
    ++n;
  }
  if (n == 0 || n > 7)
    return LookupElement(reinterpret_cast<const char*>(name), static_cast<int>(n));
  return Remember(memo, key | static_cast<uint64_t>(n) << 56, LookupElement, name, n);
}

// Entity names are matched exactly; a name of any byte may be probed.
int LookupEntityMemo(NameMemo* memo, const Byte* name, std::size_t n) {
  const uint64_t key = MemoKey(name, n);
  if (key == 0) return LookupEntity(reinterpret_cast<const char*>(name), static_cast<int>(n));
  return Remember(memo, key, LookupEntity, name, n);
}

// The state of one conversion.
struct Scan {
  const Byte* end;      // the NUL of the clean copy
  const Byte* last_lt;  // the last "<" of the clean copy; every run before it ends in one
  Byte* out;            // where the next output byte goes, behind the scan
  const Byte* guard;    // bytes from here on are still needed by a number reader
  bool preformatted;
  bool paragraph_open;
  bool item_open;
  const Byte* next_semicolon;  // memo of the ";" search, null before the first
  const Byte* next_alt;        // memo of the "alt=" search, null before the first
  NumberReader decimal;
  NumberReader hexadecimal;
  NameMemo elements;
  NameMemo entities;
};

// Readers whose lower cursor may still be needed: a later reference's digits
// may start before the end of the last span read. The guard is the lowest such
// cursor, or the end of the text.
void UpdateGuard(Scan* scan) {
  const Byte* guard = scan->end;
  for (const NumberReader* reader : {&scan->decimal, &scan->hexadecimal}) {
    if (reader->lo.at < reader->hi.at && reader->lo.at < guard) guard = reader->lo.at;
  }
  scan->guard = guard;
}

// Moves the readers' lower cursors on to the read position q (the next digits
// start after it) or to the end of their span, reading the bytes there before
// the output covers them.
[[gnu::noinline]] void MoveReadersOn(Scan* scan, const Byte* q) {
  for (NumberReader* reader : {&scan->decimal, &scan->hexadecimal}) {
    if (reader->lo.at >= reader->hi.at || reader->lo.at >= q) continue;
    Advance(&reader->lo, q < reader->hi.at ? q : reader->hi.at, reader->base);
  }
  UpdateGuard(scan);
}

// Before n output bytes are written while the scan reads at q.
inline void MakeRoom(Scan* scan, std::size_t n, const Byte* q) {
  if (scan->out + n > scan->guard) MoveReadersOn(scan, q);
}

inline void Put(Scan* scan, Byte c, const Byte* q) {
  MakeRoom(scan, 1, q);
  *scan->out++ = c;
}

// The n bytes at p, which may lie in the block ahead of the output.
void PutSpan(Scan* scan, const Byte* p, std::size_t n, const Byte* q) {
  MakeRoom(scan, n, q);
  std::memmove(scan->out, p, n);
  scan->out += n;
}

void PutString(Scan* scan, const char* s, const Byte* q) {
  PutSpan(scan, reinterpret_cast<const Byte*>(s), std::strlen(s), q);
}

// An accepted value, for the reference at amp: the byte itself below 128,
// else its code page 932 form, which a near form ("(C)" for 169) stands in
// for where cp932 lacks the character, or "?".
void EmitReplacement(Scan* scan, uint32_t value, const Byte* amp) {
  if (value < 128) {
    Put(scan, static_cast<Byte>(value), amp);
  } else {
    PutString(scan, CodePointToShiftJis(value), amp);
  }
}

// The value of the reference whose ";" is at semicolon; 0 when it has none.
uint32_t ReferenceValue(Scan* scan, const Byte* amp, const Byte* semicolon) {
  if (amp[1] != '#') {
    std::size_t n = static_cast<std::size_t>(semicolon - amp - 1);
    if (n > kLongestProbe) return 0;
    return static_cast<uint32_t>(LookupEntityMemo(&scan->entities, amp + 1, n));
  }
  uint32_t value = (amp[2] == 'x' || amp[2] == 'X')
                       ? ReadNumber(&scan->hexadecimal, amp + 3, semicolon)
                       : ReadNumber(&scan->decimal, amp + 2, semicolon);
  UpdateGuard(scan);
  return value;
}

// Handles the "&" at amp and returns where the run goes on: after the ";" of
// an accepted reference (which may lie past the run), else after the "&".
const Byte* ConvertReference(Scan* scan, const Byte* amp) {
  if (scan->next_semicolon == nullptr || scan->next_semicolon <= amp) {
    const Byte* found = FindByte(amp + 1, scan->end, ';');
    scan->next_semicolon = found != nullptr ? found : scan->end;
  }
  const Byte* semicolon = scan->next_semicolon;
  uint32_t value = semicolon < scan->end ? ReferenceValue(scan, amp, semicolon) : 0;
  if (value == 0 || value > 0xFFFF) {
    Put(scan, '&', amp);
    return amp + 1;
  }
  EmitReplacement(scan, value, amp);
  return semicolon + 1;
}

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
// not ordinary or is a "<", and returns that byte. Words are tested and copied in
// the same step; the word that holds the first stop is stored whole and the
// output moves on to that byte. A stop is always found before the text's NUL at
// end, which is below 0x21 itself.
const Byte* CopyOrdinary(Scan* scan, const Byte* p) {
  const Byte* const end = scan->end;
  MakeRoom(scan, 1, p);
  Byte* d = scan->out;
  *d++ = *p++;
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
  }
}

// First "<!--" at or after from; null when none. Found by its "!", which is
// far rarer than "<" in markup and never a Shift-JIS trail byte, so the search
// does not stop at every tag.
const Byte* FindCommentOpening(const Byte* from, const Byte* end) {
  for (const Byte* bang = FindByte(from + 1, end, '!'); bang != nullptr;
       bang = FindByte(bang + 1, end, '!')) {
    if (end - bang < 3) return nullptr;
    if (bang[-1] == '<' && bang[1] == '-' && bang[2] == '-') return bang - 1;
  }
  return nullptr;
}

// The text without its comments; an unterminated comment drops the rest.
void CopyWithoutComments(TextBuffer* clean, const Byte* p, const Byte* end) {
  for (;;) {
    const Byte* open = FindCommentOpening(p, end);
    if (open == nullptr) {
      AppendSpan(clean, p, static_cast<std::size_t>(end - p));
      return;
    }
    AppendSpan(clean, p, static_cast<std::size_t>(open - p));
    const Byte* close = FindBytes(open + 4, end, "-->");
    if (close == nullptr) return;
    p = close + 3;
  }
}

// The raw bytes between the first "<title" tag's ">" and the next "</title>".
void CopyTitle(TextBuffer* title, const Byte* begin, const Byte* end) {
  const Byte* lt = FindTagOpening(begin, end, "title");
  if (lt == nullptr) return;
  const Byte* gt = FindByte(lt + 6, end, '>');
  if (gt == nullptr) return;
  const Byte* close = FindTagOpening(gt + 1, end, "/title>");
  if (close == nullptr) return;
  AppendSpan(title, gt + 1, static_cast<std::size_t>(close - gt - 1));
}

// Where the scan starts: after the first "<body" tag, or at the beginning
// when there is none; null when that tag has no ">".
const Byte* BodyStart(const Byte* begin, const Byte* end) {
  const Byte* lt = FindTagOpening(begin, end, "body");
  if (lt == nullptr) return begin;
  const Byte* gt = FindByte(lt + 5, end, '>');
  return gt != nullptr ? gt + 1 : nullptr;
}

}  // namespace

char* HtmlToText(const char* text, char** title) {
  if (text == nullptr || text[0] == 0) return nullptr;
  ForgetIncompleteMarkupTables();

  TextBuffer clean;
  TextBuffer title_buffer;
  InitTextBuffer(&clean);
  InitTextBuffer(&title_buffer);
  const Byte* input = reinterpret_cast<const Byte*>(text);
  const std::size_t length = std::strlen(text);
  // The lead, then the copy; one growth, as the copy is no longer than the text.
  if (length > UINT32_MAX - kLead - 1) clean.failed = 1;
  if (clean.failed == 0) {  // the first block holds the lead
    std::memset(clean.data, 0, kLead);
    clean.length = kLead;
    ReserveTextBuffer(&clean, static_cast<uint32_t>(length) + 1);
    CopyWithoutComments(&clean, input, input + length);
  }
  if (!TerminateTextBuffer(&clean)) {
    ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return nullptr;
  }
  Byte* const block = reinterpret_cast<Byte*>(clean.data);
  const Byte* begin = block + kLead;
  const Byte* end = block + clean.length;
  if (title != nullptr) CopyTitle(&title_buffer, begin, end);

  const Byte* start = BodyStart(begin, end);
  if (start == nullptr) {
    ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return nullptr;
  }
  while (start < end && (*start == '\r' || *start == '\n')) ++start;

  Scan scan = {};
  scan.end = end;
  scan.last_lt = FindLastByte(start, end, '<');
  scan.out = block;
  scan.guard = end;
  InitNumberReader(&scan.decimal, 10, start);
  InitNumberReader(&scan.hexadecimal, 16, start);
  RunMainScan(&scan, start);
  // The clean copy now holds the output, which ends before the copy's NUL.
  clean.length = static_cast<uint32_t>(scan.out - block);

  int ok = TerminateTextBuffer(&clean);
  if (title != nullptr && !TerminateTextBuffer(&title_buffer)) ok = 0;
  // A table that lost a name during this call may have misread a tag or a
  // reference; it is built anew on the next call.
  if (!MarkupTablesComplete()) ok = 0;
  if (!ok) {
    ReleaseTextBuffer(&clean);
    ReleaseTextBuffer(&title_buffer);
    return nullptr;
  }
  if (title != nullptr) {
    *title = HandOverTextBuffer(&title_buffer);
  } else {
    ReleaseTextBuffer(&title_buffer);
  }
  return HandOverTextBuffer(&clean);
}

int TagNameLength(const char* s) {
  if (s == nullptr) return 0;
  int n = 0;
  while (DigitValue(static_cast<Byte>(s[n])) < 36) ++n;
  return n;
}

uint32_t ParseNumber(const char* s, int32_t length, int base) {
  if (s == nullptr || length == 0 || base < 2 || base > 36) return 0;
  std::size_t n = length < 0 ? std::strlen(s) : static_cast<std::size_t>(length);
  uint32_t value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    int d = DigitValue(static_cast<Byte>(s[i]));
    if (d == 0xFF) continue;
    if (d >= base) return value;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  return value;
}

const char* CodePointToShiftJis(uint32_t code_point) {
  static char result[kLongestCp932Form + 1];
  if (code_point > 0xFFFF) return "?";
  const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(code_point));
  if (form.length == 0) return "?";
  std::memcpy(result, form.bytes, static_cast<std::size_t>(form.length));
  result[form.length] = 0;
  return result;
}

}  // namespace kelvane
