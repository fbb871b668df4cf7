#pragma once

namespace kelvane {

// ISO-2022-JP -> Shift-JIS. Accepts ESC ( B, ESC ( J, ESC ( I, ESC $ @ and
// ESC $ B; any other escape or a broken pair fails (-1). Returns 7.
int DecodeIso2022Jp(char** result, const char* text, int mode);

}  // namespace kelvane
