// Every decoder on any bytes: each either fails or hands over text that is
// well-formed Shift-JIS decoding back through the project's cp932 table, with
// the line ends the mode asks for; DecodeUtf8 and DecodeUtf16Be agree with
// their two stages, and the byte decoders give the same handed the block's
// size. The first byte chooses the mode; the input is followed by
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

// A one-pass decoder gives what its two stages give one after the other: the
// stage to UTF-16LE units (Utf8ToUtf16, SwapUtf16Bytes) and DecodeUtf16Le.
template <typename In>
void CheckSameAsChain(int result, const char* out, int (*to_units)(uint16_t**, In, int), In in,
                      int mode) {
  uint16_t* units = nullptr;
  char* chained = nullptr;
  int chain_result = to_units(&units, in, mode);
  if (chain_result != -1) {
    chain_result = DecodeUtf16Le(&chained, units, 0);
    MemFree(units);
  }
  fuzz::Require((result == -1) == (chain_result == -1), "one pass fails as the chain does");
  if (result != -1)
    fuzz::Require(std::strcmp(out, chained) == 0, "one pass gives the chain's text");
  MemFree(chained);
}

// A byte decoder handed the block's size gives what it gives when it measures
// the text, which ends at its first NUL, maybe long before the block does.
void CheckSameInBlock(int result, const char* out,
                      int (*in_block)(char**, const char*, std::size_t, int, uint32_t*),
                      const char* block, std::size_t size, int mode) {
  char* again = nullptr;
  uint32_t length = 0;
  const int again_result = in_block(&again, block, size, mode, &length);
  fuzz::Require(again_result == result, "the block's size changes no result");
  if (again_result != -1) {
    fuzz::Require(std::strcmp(out, again) == 0 && std::strlen(again) == length,
                  "the block's size changes no text");
  }
  MemFree(again);
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
  CheckSameAsChain(result, out, &SwapUtf16Bytes, units, mode);
  CheckResult(result, 2, out, mode);
  out = nullptr;
  result = DecodeUtf8(&out, text, mode);
  CheckSameAsChain<const char*>(result, out, &Utf8ToUtf16, text, mode);
  CheckSameInBlock(result, out, &DecodeUtf8InBlock, text, size - 1, mode);
  CheckResult(result, 3, out, mode);
  out = nullptr;
  result = DecodeEucJp(&out, text, mode);
  CheckSameInBlock(result, out, &DecodeEucJpInBlock, text, size - 1, mode);
  CheckResult(result, 6, out, mode);
  out = nullptr;
  result = DecodeIso2022Jp(&out, text, mode);
  CheckSameInBlock(result, out, &DecodeIso2022JpInBlock, text, size - 1, mode);
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
