// The in-process Windows tests: the driver with the Win32 platform, the drop
// window and the cp932 table, run under Wine.
#include "tests/win/win_tests.h"

int main() {
  using namespace kelvane::wintest;
  return RunWinTests({ConvertFileWinTests(), DropWindowWinTests(), Cp932TableWinTests()});
}
