// The in-process Windows tests: the driver with the Win32 platform, the drop
// window, the cp932 table and the paths given to the system, run under Wine.
#include "tests/win/win_tests.h"

int main() {
  using namespace kelvane::wintest;
  return RunWinTests(
      {ConvertFileWinTests(), DropWindowWinTests(), Cp932TableWinTests(), SystemPathWinTests()});
}
