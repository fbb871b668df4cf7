#include "html/markup_tables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "html/markup_table_build.h"
#include "html/name_trie.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

int CountNodes(const TrieNode* node) {
  int n = 0;
  for (; node != nullptr; node = node->next_sibling) n += 1 + CountNodes(node->first_child);
  return n;
}

int CountList(const TrieNode* node) {
  int n = 0;
  for (; node != nullptr; node = node->next_sibling) ++n;
  return n;
}

int CountValues(const TrieNode* node) {
  int n = 0;
  for (; node != nullptr; node = node->next_sibling) {
    n += (node->value != 0) + CountValues(node->first_child);
  }
  return n;
}

struct Shape {
  int nodes;
  int top_level;
  int names;
};

Shape ShapeOf(int (*build)(NameTrie*)) {
  NameTrie trie;
  EXPECT_EQ(build(&trie), 0);
  Shape s = {CountNodes(trie.first), CountList(trie.first), CountValues(trie.first)};
  Clear(&trie);
  return s;
}

TEST(MarkupTables, ElementTrieHas91NamesIn278Nodes19AtTopLevel) {
  Shape s = ShapeOf(BuildElementTable);
  EXPECT_EQ(s.names, 91);
  EXPECT_EQ(s.nodes, 278);
  EXPECT_EQ(s.top_level, 19);
}

TEST(MarkupTables, EntityTrieHas253NamesIn877Nodes44AtTopLevel) {
  Shape s = ShapeOf(BuildEntityTable);
  EXPECT_EQ(s.names, 253);
  EXPECT_EQ(s.nodes, 877);
  EXPECT_EQ(s.top_level, 44);
}

struct LookupRow {
  const char* name;
  int (*lookup)(const char*, int);
  const char* probe;
  int length;
  int want;
};

TEST(MarkupTables, LookupEdgeCases) {
  const LookupRow rows[] = {
      {"capitals", LookupElement, "BR", 2, 0x100E},
      {"lower case", LookupElement, "br", 2, 0x100E},
      {"mixed case", LookupElement, "bR", 2, 0x100E},
      {"empty element base", LookupElement, "base", 4, 0x1008},
      {"basefont beyond base", LookupElement, "basefont", 8, 0x1009},
      {"prefix of basefont", LookupElement, "basef", 5, 0},
      {"col is empty", LookupElement, "col", 3, 0x1014},
      {"colgroup is not", LookupElement, "colgroup", 8, 21},
      {"h alone is a prefix", LookupElement, "h", 1, 0},
      {"h1", LookupElement, "h1", 2, 35},
      {"h6", LookupElement, "H6", 2, 40},
      {"h7", LookupElement, "h7", 2, 0},
      {"only the length counts", LookupElement, "brown", 2, 0x100E},
      {"blockquote before big", LookupElement, "BLOCKQUOTE", 10, 11},
      {"big after blockquote", LookupElement, "big", 3, 12},
      {"hr before head", LookupElement, "hr", 2, 0x1029},
      {"head", LookupElement, "head", 4, 42},
      {"html", LookupElement, "html", 4, 43},
      {"img", LookupElement, "IMG", 3, 0x102E},
      {"first", LookupElement, "a", 1, 1},
      {"last", LookupElement, "var", 3, 91},
      {"table", LookupElement, "table", 5, 79},
      {"tr", LookupElement, "tr", 2, 87},
      {"element high byte", LookupElement, "b\xE2", 2, 0},
      {"element length 0", LookupElement, "p", 0, 0},
      {"element null", LookupElement, nullptr, 2, 0},
      {"amp", LookupEntity, "amp", 3, 38},
      {"AMP in capitals", LookupEntity, "AMP", 3, 0},
      {"Amp", LookupEntity, "Amp", 3, 0},
      {"Auml", LookupEntity, "Auml", 4, 196},
      {"auml", LookupEntity, "auml", 4, 228},
      {"hibar", LookupEntity, "hibar", 5, 175},
      {"macr", LookupEntity, "macr", 4, 175},
      {"not", LookupEntity, "not", 3, 172},
      {"notin", LookupEntity, "notin", 5, 8713},
      {"noti", LookupEntity, "noti", 4, 0},
      {"sup", LookupEntity, "sup", 3, 8835},
      {"sup1", LookupEntity, "sup1", 4, 185},
      {"sup4", LookupEntity, "sup4", 4, 0},
      {"a is a prefix", LookupEntity, "a", 1, 0},
      {"quot lowest", LookupEntity, "quot", 4, 34},
      {"diams highest", LookupEntity, "diams", 5, 9830},
      {"euro", LookupEntity, "euro", 4, 8364},
      {"thetasym longest", LookupEntity, "thetasym", 8, 977},
      {"nbsp", LookupEntity, "nbsp", 4, 160},
      {"yuml", LookupEntity, "yuml", 4, 255},
      {"Yuml", LookupEntity, "Yuml", 4, 376},
      {"Prime", LookupEntity, "Prime", 5, 8243},
      {"prime", LookupEntity, "prime", 5, 8242},
      {"image before real", LookupEntity, "image", 5, 8465},
      {"fnof", LookupEntity, "fnof", 4, 402},
      {"Sigma skips 930", LookupEntity, "Sigma", 5, 931},
      {"entity high byte", LookupEntity, "\x81\x40", 2, 0},
      {"entity length 0", LookupEntity, "amp", 0, 0},
      {"entity null", LookupEntity, nullptr, 3, 0},
  };
  for (const LookupRow& r : rows) EXPECT_EQ(r.lookup(r.probe, r.length), r.want) << r.name;
}

TEST(MarkupTables, EntityTableAgreesWithAnIndependentList) {
  std::ifstream in(KELVANE_TEST_DATA_DIR "/html401_entities.txt");
  ASSERT_TRUE(in.is_open());
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::string name = line.substr(0, line.find(' '));
    int code_point = std::stoi(line.substr(name.size() + 1));
    EXPECT_EQ(LookupEntity(name.c_str(), static_cast<int>(name.size())), code_point) << name;
    ++checked;
  }
  EXPECT_EQ(checked, 252);
  EXPECT_EQ(LookupEntity("hibar", 5), 175);  // the one name beyond the list
}

TEST(MarkupTables, ThirteenEmptyElementsCarryTheBit) {
  const char* empty[] = {"area", "base",  "basefont", "br",   "col",  "frame", "hr",
                         "img",  "input", "isindex",  "link", "meta", "param"};
  for (const char* name : empty) {
    EXPECT_NE(LookupElement(name, -1) & kEmptyElementBit, 0) << name;
  }
  // Every other name: its ordinal alone.
  int with_bit = 0;
  const char* all[] = {
      "a",        "abbr",     "acronym",    "address", "applet",   "area",     "b",      "base",
      "basefont", "bdo",      "blockquote", "big",     "body",     "br",       "button", "caption",
      "center",   "cite",     "code",       "col",     "colgroup", "dd",       "del",    "dfn",
      "dir",      "div",      "dl",         "dt",      "em",       "fieldset", "font",   "form",
      "frame",    "frameset", "h1",         "h2",      "h3",       "h4",       "h5",     "h6",
      "hr",       "head",     "html",       "i",       "iframe",   "img",      "input",  "ins",
      "isindex",  "kbd",      "label",      "legend",  "li",       "link",     "map",    "menu",
      "meta",     "noframes", "noscript",   "object",  "ol",       "optgroup", "option", "p",
      "param",    "pre",      "q",          "s",       "samp",     "script",   "select", "small",
      "span",     "strike",   "strong",     "style",   "sub",      "sup",      "table",  "tbody",
      "td",       "textarea", "tfoot",      "th",      "thead",    "title",    "tr",     "tt",
      "u",        "ul",       "var"};
  for (int i = 0; i < 91; ++i) {
    int id = LookupElement(all[i], -1);
    EXPECT_EQ(id & 0xFFF, i + 1) << all[i];
    with_bit += (id & kEmptyElementBit) != 0;
  }
  EXPECT_EQ(with_bit, 13);
}

TEST(MarkupTables, BuildThatLostANameIsForgottenAndRebuilt) {
  ClearMarkupTables();
  {
    testing::ScopedHeapFaults faults;
    testing::FailNthAllocation(100);  // somewhere inside the entity build
    EXPECT_EQ(LookupEntity("amp", 3), 38);
  }
  EXPECT_EQ(MarkupTablesComplete(), 0);
  ForgetIncompleteMarkupTables();
  EXPECT_EQ(MarkupTablesComplete(), 1);
  EXPECT_EQ(LookupEntity("yuml", 4), 255);
  EXPECT_EQ(LookupEntity("euro", 4), 8364);
  EXPECT_EQ(MarkupTablesComplete(), 1);
}

}  // namespace
}  // namespace kelvane
