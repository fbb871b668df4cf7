// Compiled only into kelvane_core_scalar, where the name kelvane stands for
// kelvane_scalar: each call below reaches the scalar build of the stage.
#include "tests/support/scalar_stages.h"

#include "common/heap.h"
#include "common/vector_scan.h"
#include "encoding/decode_cut.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf8_decoder.h"
#include "html/html_to_text.h"

static_assert(!kelvane::kVectorScans, "the scalar stages are built without vector scans");

namespace scalar_stages {

int DecodeEucJp(char** result, const char* text, int mode) {
  return kelvane::DecodeEucJp(result, text, mode);
}
int DecodeIso2022Jp(char** result, const char* text, int mode) {
  return kelvane::DecodeIso2022Jp(result, text, mode);
}
int DecodeUtf8(char** result, const char* bytes, int mode) {
  return kelvane::DecodeUtf8(result, bytes, mode);
}
int Utf8ToUtf16(uint16_t** result, const char* bytes, int mode) {
  return kelvane::Utf8ToUtf16(result, bytes, mode);
}
int NormalizeLineEnds(char** result, const char* text, int flags) {
  return kelvane::NormalizeLineEnds(result, text, flags);
}
char* HtmlToText(const char* text, char** title) {
  return kelvane::HtmlToText(text, title);
}
char* HtmlToTextAsRead(const char* text, std::size_t length, uint32_t* text_length, int* outcome) {
  kelvane::TextProgress progress;
  progress.as_read = true;
  char* output = kelvane::HtmlToTextShowingProgress(text, length, text_length, &progress);
  *outcome = progress.outcome.load();
  if (output == nullptr) kelvane::MemFree(progress.block.load());
  return output;
}
bool HasTerminatorBefore(const char* text, uint32_t bytes, uint32_t unit) {
  return kelvane::HasTerminatorBefore(text, bytes, unit);
}
void Free(void* p) {
  kelvane::MemFree(p);
}

}  // namespace scalar_stages
