// Every decoder on any bytes: each either fails or hands over text that is
// well-formed Shift-JIS decoding back through the project's cp932 table, with
// the line ends the mode asks for; DecodeUtf8 and DecodeUtf16Be agree with
// their two stages. The first byte chooses the mode; the input is followed by
// exactly three NUL bytes, as the driver leaves it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/heap.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace kelvane;

// With mode LF no CR survives; with CRLF every LF follows a CR and every CR
// precedes an LF.
void CheckLineEnds(const char* s, int mode) {
  for (const char* p = s; *p != 0; ++p) {
    if (mode == 0x200) fuzz::Require(*p != '\r', "LF mode leaves no CR");
    if (mode == 0x300 && *p == '\n') fuzz::Require(p != s && p[-1] == '\r', "LF after CR");
    if (mode == 0x300 && *p == '\r') fuzz::Require(p[1] == '\n', "CR before LF");
  }
}

void CheckResult(int result, int success, char* out, int mode) {
  if (result == -1) return;
  fuzz::Require(result == success, "success gives the EncodingId");
  fuzz::Require(out != nullptr, "success hands over a block");
  fuzz::Require(fuzz::IsDecodableShiftJis(out), "output is decodable Shift-JIS");
  CheckLineEnds(out, mode);
  MemFree(out);
}

// DecodeUtf8 in one pass gives what its two stages give one after the other.
void CheckSameAsUtf8Chain(int result, const char* out, const char* text, int mode) {
  uint16_t* units = nullptr;
  char* chained = nullptr;
  int chain_result = Utf8ToUtf16(&units, text, mode);
  if (chain_result != -1) {
    chain_result = DecodeUtf16Le(&chained, units, 0);
    MemFree(units);
  }
  fuzz::Require((result == -1) == (chain_result == -1), "one pass fails as the chain does");
  if (result != -1)
    fuzz::Require(std::strcmp(out, chained) == 0, "one pass gives the chain's text");
  MemFree(chained);
}

// DecodeUtf16Be in one pass gives what swapping and then decoding gives.
void CheckSameAsSwapChain(int result, const char* out, const uint16_t* units, int mode) {
  uint16_t* swapped = nullptr;
  char* chained = nullptr;
  int chain_result = SwapUtf16Bytes(&swapped, units, mode);
  if (chain_result != -1) {
    chain_result = DecodeUtf16Le(&chained, swapped, 0);
    MemFree(swapped);
  }
  fuzz::Require((result == -1) == (chain_result == -1), "one pass fails as swap and decode do");
  if (result != -1)
    fuzz::Require(std::strcmp(out, chained) == 0, "one pass gives swap and decode's text");
  MemFree(chained);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int modes[] = {0, 0x100, 0x200, 0x300};
  const int mode = modes[data[0] & 3];
  char* text = fuzz::TerminatedCopy(data + 1, size - 1, 3);
  const auto* units = reinterpret_cast<const uint16_t*>(text);
  char* out = nullptr;

  int result = 0;
  // Each call before its check: the result place is read only afterwards.
  result = DecodeUtf16Le(&out, units, mode);
  CheckResult(result, 1, out, mode);
  out = nullptr;
  result = DecodeUtf16Be(&out, units, mode);
  CheckSameAsSwapChain(result, out, units, mode);
  CheckResult(result, 2, out, mode);
  out = nullptr;
  result = DecodeUtf8(&out, text, mode);
  CheckSameAsUtf8Chain(result, out, text, mode);
  CheckResult(result, 3, out, mode);
  out = nullptr;
  result = DecodeEucJp(&out, text, mode);
  CheckResult(result, 6, out, mode);
  out = nullptr;
  result = DecodeIso2022Jp(&out, text, mode);
  CheckResult(result, 7, out, mode);
  // Shift-JIS input is passed through, so only the line ends are checked.
  out = nullptr;
  result = NormalizeLineEnds(&out, text, mode | 5);
  fuzz::Require(result == 5 && out != nullptr, "line-end pass succeeds");
  CheckLineEnds(out, mode);
  MemFree(out);

  std::free(text);
  return 0;
}
