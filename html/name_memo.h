// Recent element and entity lookups of one HtmlToText call.
//
// Pages use a handful of tag and entity names over and over, and the tables
// stay the same during one call, so a remembered answer is the answer the
// trie would give. Names of up to 7 bytes are keyed by their bytes (folded for
// elements) and length; 0 marks an empty slot. The tag-name path is inline, as
// it runs once per tag.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/word_scan.h"
#include "html/markup_tables.h"

namespace kelvane {

// No element or entity name is this long, so a longer probe is unknown anyway.
constexpr std::size_t kLongestProbe = 64;

constexpr int kMemoSlots = 64;

struct NameMemo {
  uint64_t key[kMemoSlots];
  int id[kMemoSlots];
};

// Where key is kept.
inline std::size_t MemoSlot(uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 58);
}

// The slot for key, filled by lookup when it holds another name.
int Remember(NameMemo* memo, uint64_t key, int (*lookup)(const char*, int),
             const unsigned char* name, std::size_t n);

// Entity names are matched exactly; a name of any byte may be probed.
int LookupEntityMemo(NameMemo* memo, const unsigned char* name, std::size_t n);

// The element id of a tag name measured byte by byte.
int LookupTagNameByBytes(NameMemo* memo, const unsigned char* name);

// Bit 7 set in each byte of a word that is an ASCII letter or digit. Each
// range test adds a constant that sets bit 7 from the range's low end on,
// and one that sets it past the high end; no byte carries into the next.
inline uint64_t NameByteBits(uint64_t word) {
  const uint64_t low7 = word & (0x7F * kEachByte);
  const uint64_t folded = low7 | (0x20 * kEachByte);  // A-Z to a-z; no other byte lands there
  const uint64_t letter =
      (folded + (0x80 - 'a') * kEachByte) & ~(folded + (0x7F - 'z') * kEachByte);
  const uint64_t digit = (low7 + (0x80 - '0') * kEachByte) & ~(low7 + (0x7F - '9') * kEachByte);
  return (letter | digit) & ~word & kHighBits;
}

// The memo key of a name made of the first n (1-7) bytes of word, folded.
inline uint64_t NameKey(uint64_t word, int n) {
  return ((word | 0x2020202020202020ULL) & ((uint64_t{1} << (8 * n)) - 1)) |
         static_cast<uint64_t>(n) << 56;
}

// The element id of the tag name at name: its letters and digits, read once
// for both its length and its memo key (for these bytes, setting 0x20 folds
// A-Z and changes nothing else). Most names are short and end within the
// first word, whose length is then found without a loop whose end varies
// from tag to tag. end is the text's NUL.
inline int LookupTagName(NameMemo* memo, const unsigned char* name, const unsigned char* end) {
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
  return LookupTagNameByBytes(memo, name);
}

}  // namespace kelvane
