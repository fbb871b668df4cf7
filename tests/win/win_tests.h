// The lists of the in-process Windows tests, one per source file.
#pragma once

#include <vector>

#include "tests/win/win_check.h"

namespace kelvane::wintest {

std::vector<WinTest> ConvertFileWinTests();
std::vector<WinTest> DropWindowWinTests();
std::vector<WinTest> Cp932TableWinTests();
std::vector<WinTest> SystemPathWinTests();

}  // namespace kelvane::wintest
