#include "html/name_memo.h"

namespace kelvane {
namespace {

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

// The key of an entity name of n bytes, or 0 when it is too long to be
// remembered.
uint64_t MemoKey(const unsigned char* name, std::size_t n) {
  if (n == 0 || n > 7) return 0;
  uint64_t key = static_cast<uint64_t>(n) << 56;
  for (std::size_t i = 0; i < n; ++i) key |= static_cast<uint64_t>(name[i]) << (8 * i);
  return key;
}

}  // namespace

int Remember(NameMemo* memo, uint64_t key, int (*lookup)(const char*, int),
             const unsigned char* name, std::size_t n) {
  const std::size_t slot = MemoSlot(key);
  if (memo->key[slot] != key) {
    memo->key[slot] = key;
    memo->id[slot] = lookup(reinterpret_cast<const char*>(name), static_cast<int>(n));
  }
  return memo->id[slot];
}

int LookupEntityMemo(NameMemo* memo, const unsigned char* name, std::size_t n) {
  const uint64_t key = MemoKey(name, n);
  if (key == 0) return LookupEntity(reinterpret_cast<const char*>(name), static_cast<int>(n));
  return Remember(memo, key, LookupEntity, name, n);
}

int LookupTagNameByBytes(NameMemo* memo, const unsigned char* name) {
  std::size_t n = 0;
  uint64_t key = 0;  // keyed as LookupTagName's word keys it: the first byte lowest
  while (n <= kLongestProbe && kNameBytes.of[name[n]]) {
    // Only a name of up to 7 bytes is keyed, and then all its bytes are here.
    if (n < 7) key |= static_cast<uint64_t>(name[n] | 0x20) << (8 * n);
    ++n;
  }
  if (n == 0 || n > 7)
    return LookupElement(reinterpret_cast<const char*>(name), static_cast<int>(n));
  return Remember(memo, key | static_cast<uint64_t>(n) << 56, LookupElement, name, n);
}

}  // namespace kelvane
