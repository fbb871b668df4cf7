// A character trie that maps byte strings to non-zero integers.
//
// Nodes come one by one from MemAlloc and are freed only all together, by
// Clear. Every list links its newest node at the head. A name is given as a
// pointer and a length; a negative length means NUL-terminated.
#pragma once

#include <cstdint>

namespace kelvane {

struct TrieNode {
  TrieNode* first_child;
  TrieNode* next_sibling;
  int32_t character;  // one byte, sign-extended
  int32_t value;      // non-zero where a stored name ends
};

struct NameTrie {
  TrieNode* first;  // top-level list; null when empty
};

// Stores name with value (replacing an existing value); 1 when stored.
int Insert(NameTrie* trie, const char* name, int length, int value);
// The value stored for exactly name, or 0.
int Find(const NameTrie* trie, const char* name, int length);
// As Find, with the probe's A-Z folded to a-z first.
int FindIgnoreCase(const NameTrie* trie, const char* name, int length);
// Releases every node; the trie is empty afterwards.
void Clear(NameTrie* trie);

}  // namespace kelvane
