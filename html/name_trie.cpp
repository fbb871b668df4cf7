// The character trie behind the element and entity tables.
//
// A name is a pointer and a length (negative: NUL-terminated). Characters are
// held sign-extended, as a plain char widens on the systems we build for, and
// probe bytes are widened the same way before they are compared.
#include "html/name_trie.h"

#include <cstring>

#include "common/heap.h"

namespace kelvane {
namespace {

int32_t Widen(char byte) {
  return static_cast<int32_t>(static_cast<signed char>(byte));
}

int32_t WidenFolded(char byte) {
  if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  return Widen(byte);
}

// The byte count of a name, or 0 when there is nothing to store or probe.
int NameLength(const char* name, int length) {
  if (name == nullptr || length == 0) return 0;
  if (length > 0) return length;
  std::size_t n = std::strlen(name);
  return n > 0x7FFFFFFF ? 0 : static_cast<int>(n);
}

TrieNode* FindInList(TrieNode* node, int32_t character) {
  while (node != nullptr && node->character != character) node = node->next_sibling;
  return node;
}

template <int32_t (*widen)(char)>
int FindWith(const NameTrie* trie, const char* name, int length) {
  int n = NameLength(name, length);
  if (n == 0) return 0;
  TrieNode* list = trie->first;
  TrieNode* node = nullptr;
  for (int i = 0; i < n; ++i) {
    node = FindInList(list, widen(name[i]));
    if (node == nullptr) return 0;
    list = node->first_child;
  }
  return node->value;
}

// Frees a list and everything below it; recursion goes one level per name byte.
void FreeList(TrieNode* node) {
  while (node != nullptr) {
    TrieNode* next = node->next_sibling;
    FreeList(node->first_child);
    MemFree(node);
    node = next;
  }
}

}  // namespace

int Insert(NameTrie* trie, const char* name, int length, int value) {
  int n = NameLength(name, length);
  if (n == 0) return 0;
  TrieNode** head = &trie->first;
  TrieNode* node = nullptr;
  for (int i = 0; i < n; ++i) {
    int32_t character = Widen(name[i]);
    node = FindInList(*head, character);
    if (node == nullptr) {
      node = static_cast<TrieNode*>(MemAlloc(sizeof(TrieNode)));
      if (node == nullptr) return 0;  // nodes linked for earlier bytes stay, holding 0
      std::memset(node, 0, sizeof(TrieNode));
      node->character = character;
      node->next_sibling = *head;
      *head = node;
    }
    head = &node->first_child;
  }
  node->value = value;
  return 1;
}

int Find(const NameTrie* trie, const char* name, int length) {
  return FindWith<Widen>(trie, name, length);
}

int FindIgnoreCase(const NameTrie* trie, const char* name, int length) {
  return FindWith<WidenFolded>(trie, name, length);
}

void Clear(NameTrie* trie) {
  FreeList(trie->first);
  trie->first = nullptr;
}

}  // namespace kelvane
