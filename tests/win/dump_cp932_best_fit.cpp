// Measures Windows' best fit for code page 932 and writes it as
// encoding/cp932_best_fit.txt, which gen_cp932_table.py folds into the table.
// Not part of the build: a Windows program, run once under Wine (or Windows)
// whenever the list is to be measured again.
//
//   cmake --build --preset windows --target dump_cp932_best_fit
//   wine build/windows/tests/win/dump_cp932_best_fit.exe > encoding/cp932_best_fit.txt
//   python3 encoding/gen_cp932_table.py
//
// A unit is listed when WideCharToMultiByte(932, 0) converts it without the
// default character although WC_NO_BEST_FIT_CHARS makes it use the default
// character: those are the approximations, not cp932's own mapping.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

// The bytes Windows writes for unit under flags, their count in *n; false
// when it used the default character.
bool Convert(wchar_t unit, DWORD flags, unsigned char bytes[4], int* n) {
  BOOL used_default = FALSE;
  *n = WideCharToMultiByte(932, flags, &unit, 1, reinterpret_cast<char*>(bytes), 4, nullptr,
                           &used_default);
  return *n > 0 && !used_default;
}

// "Wine 8.0.2" under Wine, "Windows" otherwise.
void PrintPlatform() {
  using WineVersion = const char*(CDECL*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto version = reinterpret_cast<WineVersion>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (version != nullptr) {
    std::printf("Wine %s", version());
  } else {
    std::printf("Windows");
  }
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, as checked in
  std::printf(
      "# Windows' best fit for code page 932: each UTF-16 unit that WideCharToMultiByte(932, 0)\n");
  std::printf(
      "# converts without the default character though WC_NO_BEST_FIT_CHARS refuses it, and\n");
  std::printf("# the code it writes. Measured under ");
  PrintPlatform();
  std::printf(" by tests/win/dump_cp932_best_fit.cpp.\n");
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;  // a lone surrogate is no character
    unsigned char strict[4], loose[4];
    int strict_n = 0, loose_n = 0;
    const wchar_t unit = static_cast<wchar_t>(u);
    if (Convert(unit, WC_NO_BEST_FIT_CHARS, strict, &strict_n)) continue;
    if (!Convert(unit, 0, loose, &loose_n)) continue;
    unsigned code = loose[0];
    if (loose_n == 2) code = code << 8 | loose[1];
    if (loose_n > 2) return 1;  // a cp932 character is one or two bytes
    std::printf("0x%04X\t0x%X\n", u, code);
  }
  return 0;
}
