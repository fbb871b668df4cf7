// Wildcards on the Windows command line. Windows' shells hand a program its
// words as typed, so kelvane.exe expands a word that holds '*' or '?' itself:
// neither can occur in a Windows file name.
#pragma once

#include <cstddef>

namespace kelvane {

// Whether word (UTF-8) is a pattern: it holds '*' or '?' after any \\?\ or
// \\.\ prefix, whose '?' names no wildcard.
bool HasWildcard(const char* word);

// Calls on_file with the path of each file (not folder) in the pattern's
// folder whose name matches the pattern's last part, in name order: the
// pattern's folder as written followed by the name, in UTF-8. Returns the
// number of files, 0 when none matches (or the folder cannot be read), -1
// when memory ran out (the files before that point were passed on).
int ExpandWildcard(const char* pattern, void (*on_file)(const char* path));

}  // namespace kelvane
