// Inside view of the two name tables: the builders, for tests that count
// nodes, and the bookkeeping that keeps a build which lost a name to a failed
// allocation from passing unnoticed.
#pragma once

#include "html/element_names.h"
#include "html/name_trie.h"

namespace kelvane {

constexpr int kEntityNameCount = 253;

// Fill an empty trie with the fixed lists; each returns how many names could
// not be stored (0 when the table is complete).
int BuildElementTable(NameTrie* trie);
int BuildEntityTable(NameTrie* trie);

// Forgets every table whose build lost a name, so its next lookup builds it
// again.
void ForgetIncompleteMarkupTables();
// 1 unless a table built since the last ForgetIncompleteMarkupTables lost a
// name.
int MarkupTablesComplete();
// Releases both tables; the next lookups build them anew.
void ClearMarkupTables();

}  // namespace kelvane
