#include "html/name_trie.h"

#include <gtest/gtest.h>

#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::LiveBlocks;

// Releases the trie's nodes at the end of a test.
struct ScopedTrie {
  NameTrie trie = {nullptr};
  ~ScopedTrie() { Clear(&trie); }
};

int CountNodes(const TrieNode* node) {
  int n = 0;
  for (; node != nullptr; node = node->next_sibling) n += 1 + CountNodes(node->first_child);
  return n;
}

TEST(NameTrie, FindsExactlyTheStoredNames) {
  ScopedTrie t;
  ASSERT_EQ(Insert(&t.trie, "sup", -1, 8835), 1);
  ASSERT_EQ(Insert(&t.trie, "sup1", 4, 185), 1);
  ASSERT_EQ(Insert(&t.trie, "supe", -1, 8839), 1);
  struct Row {
    const char* name;
    const char* probe;
    int length;
    int want;
  };
  const Row rows[] = {
      {"whole name", "sup", 3, 8835},
      {"longer name through a valued node", "sup1", 4, 185},
      {"proper prefix holds 0", "su", 2, 0},
      {"continues past a stored name", "sup12", 5, 0},
      {"only the given length counts", "sup1xyz", 4, 185},
      {"negative length counts to the NUL", "supe", -1, 8839},
      {"case matters in Find", "SUP", 3, 0},
      {"length 0", "sup", 0, 0},
      {"null probe", nullptr, 3, 0},
      {"empty NUL-terminated probe", "", -1, 0},
      {"high byte", "\xE0", 1, 0},
  };
  for (const Row& r : rows) EXPECT_EQ(Find(&t.trie, r.probe, r.length), r.want) << r.name;
}

TEST(NameTrie, FindIgnoreCaseFoldsOnlyTheProbesAsciiCapitals) {
  ScopedTrie t;
  ASSERT_EQ(Insert(&t.trie, "br", -1, 14), 1);
  ASSERT_EQ(Insert(&t.trie, "Zz", -1, 99), 1);  // stored capitals cannot be reached
  ASSERT_EQ(Insert(&t.trie, "\xC1", -1, 7), 1);
  EXPECT_EQ(FindIgnoreCase(&t.trie, "BR", 2), 14);
  EXPECT_EQ(FindIgnoreCase(&t.trie, "bR", 2), 14);
  EXPECT_EQ(FindIgnoreCase(&t.trie, "Zz", 2), 0);
  EXPECT_EQ(FindIgnoreCase(&t.trie, "\xE1", 1), 0);  // no folding above 0x7F
  EXPECT_EQ(FindIgnoreCase(&t.trie, "\xC1", 1), 7);
  EXPECT_EQ(FindIgnoreCase(&t.trie, "[", 1), 0);  // '[' is 'Z'+1, not a letter
}

TEST(NameTrie, EmbeddedNulIsAnOrdinaryByteWithExplicitLength) {
  ScopedTrie t;
  ASSERT_EQ(Insert(&t.trie, "a\0b", 3, 5), 1);
  EXPECT_EQ(Find(&t.trie, "a\0b", 3), 5);
  EXPECT_EQ(Find(&t.trie, "a", -1), 0);
}

TEST(NameTrie, InsertReplacesAnExistingValue) {
  ScopedTrie t;
  ASSERT_EQ(Insert(&t.trie, "amp", -1, 1), 1);
  long live = LiveBlocks();
  ASSERT_EQ(Insert(&t.trie, "amp", -1, 38), 1);
  EXPECT_EQ(LiveBlocks(), live);  // no new node
  EXPECT_EQ(Find(&t.trie, "amp", 3), 38);
}

TEST(NameTrie, InsertRefusesEmptyNamesWithoutAddingNodes) {
  ScopedTrie t;
  EXPECT_EQ(Insert(&t.trie, "x", 0, 1), 0);
  EXPECT_EQ(Insert(&t.trie, nullptr, 3, 1), 0);
  EXPECT_EQ(Insert(&t.trie, "", -1, 1), 0);
  EXPECT_EQ(t.trie.first, nullptr);
}

TEST(NameTrie, NewestNodeIsLinkedAtTheHeadOfItsListSignExtended) {
  ScopedTrie t;
  ASSERT_EQ(Insert(&t.trie, "ab", -1, 1), 1);
  ASSERT_EQ(Insert(&t.trie, "\xFF", -1, 2), 1);
  ASSERT_EQ(Insert(&t.trie, "ac", -1, 3), 1);
  const TrieNode* top = t.trie.first;
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->character, -1);  // 0xFF held as -1
  EXPECT_EQ(top->value, 2);
  ASSERT_NE(top->next_sibling, nullptr);
  const TrieNode* a = top->next_sibling;
  EXPECT_EQ(a->character, 'a');
  EXPECT_EQ(a->value, 0);
  ASSERT_NE(a->first_child, nullptr);
  EXPECT_EQ(a->first_child->character, 'c');
  EXPECT_EQ(a->first_child->next_sibling->character, 'b');
  EXPECT_EQ(CountNodes(t.trie.first), 4);
}

TEST(NameTrie, FailedAllocationKeepsEarlierNodesHoldingZero) {
  ScopedTrie t;
  testing::ScopedHeapFaults faults;
  testing::FailNthAllocation(3);
  EXPECT_EQ(Insert(&t.trie, "abcd", -1, 9), 0);
  testing::ResetHeapFaults();
  EXPECT_EQ(CountNodes(t.trie.first), 2);
  EXPECT_EQ(Find(&t.trie, "ab", 2), 0);
  EXPECT_EQ(Find(&t.trie, "abcd", 4), 0);
  ASSERT_EQ(Insert(&t.trie, "abcd", -1, 9), 1);  // the path is completed later
  EXPECT_EQ(CountNodes(t.trie.first), 4);
  EXPECT_EQ(Find(&t.trie, "abcd", 4), 9);
}

TEST(NameTrie, ClearReleasesEveryNodeAndEmptiesTheTrie) {
  long live = LiveBlocks();
  NameTrie trie = {nullptr};
  for (const char* name : {"alpha", "alp", "beta", "b", "gamma"}) Insert(&trie, name, -1, 1);
  EXPECT_EQ(LiveBlocks() - live, CountNodes(trie.first));
  Clear(&trie);
  EXPECT_EQ(LiveBlocks(), live);
  EXPECT_EQ(trie.first, nullptr);
  EXPECT_EQ(Find(&trie, "alpha", -1), 0);
  EXPECT_EQ(FindIgnoreCase(&trie, "BETA", -1), 0);
}

}  // namespace
}  // namespace kelvane
