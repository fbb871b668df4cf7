// Runs each byte stage of both builds, the vector one (kelvane) and the
// scalar one (scalar_stages), on one NUL-terminated text in every line-end
// mode, and reports the first stage whose result or output bytes differ. The
// text must be followed by three NUL bytes, as the program's blocks are; the
// stages that take a read block whole (NULs inside included) get its size.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "common/heap.h"
#include "encoding/decode_cut.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf8_decoder.h"
#include "html/html_to_text.h"
#include "tests/support/scalar_stages.h"

namespace kelvane::paths {

struct ByteStage {
  const char* name;
  int (*vector)(char**, const char*, int);
  int (*scalar)(char**, const char*, int);
};

constexpr ByteStage kByteStages[] = {
    {"DecodeEucJp", DecodeEucJp, scalar_stages::DecodeEucJp},
    {"DecodeIso2022Jp", DecodeIso2022Jp, scalar_stages::DecodeIso2022Jp},
    {"DecodeUtf8", DecodeUtf8, scalar_stages::DecodeUtf8},
    {"NormalizeLineEnds", NormalizeLineEnds, scalar_stages::NormalizeLineEnds},
};

// "" when both results agree, else the result and output of each.
inline std::string Compare(const char* stage, int mode, int vector_result, const void* vector_out,
                           std::size_t vector_bytes, int scalar_result, const void* scalar_out,
                           std::size_t scalar_bytes) {
  const bool same = vector_result == scalar_result && vector_bytes == scalar_bytes &&
                    (vector_bytes == 0 || std::memcmp(vector_out, scalar_out, vector_bytes) == 0);
  if (same) return "";
  return std::string(stage) + " mode " + std::to_string(mode) + ": vector " +
         std::to_string(vector_result) + " with " + std::to_string(vector_bytes) +
         " bytes, scalar " + std::to_string(scalar_result) + " with " +
         std::to_string(scalar_bytes) + " bytes";
}

inline std::size_t UnitBytes(const uint16_t* units) {
  std::size_t n = 0;
  while (units != nullptr && units[n] != 0) ++n;
  return n * 2;
}

// The stages over the whole read block of size bytes: the look for a
// terminator, and the markup of Shift-JIS as read.
inline std::string BlockDisagreement(const char* block, std::size_t size) {
  for (const uint32_t unit : {1u, 2u}) {
    const bool v = HasTerminatorBefore(block, static_cast<uint32_t>(size), unit);
    const bool s = scalar_stages::HasTerminatorBefore(block, static_cast<uint32_t>(size), unit);
    if (v != s) return "HasTerminatorBefore unit " + std::to_string(unit);
  }
  if (size == 0) return "";
  TextProgress progress;
  progress.as_read = true;
  uint32_t v_length = 0;
  uint32_t s_length = 0;
  int s_outcome = 0;
  char* v = HtmlToTextShowingProgress(block, size, &v_length, &progress);
  char* s = scalar_stages::HtmlToTextAsRead(block, size, &s_length, &s_outcome);
  std::string diff = Compare("HtmlToText as read", 0, progress.outcome.load(), v, v_length,
                             s_outcome, s, s_length);
  MemFree(v != nullptr ? v : progress.block.load());
  scalar_stages::Free(s);
  return diff;
}

// The first disagreement of the two builds on text, or "".
inline std::string FirstDisagreement(const char* text, std::size_t size) {
  std::string block_diff = BlockDisagreement(text, size);
  if (!block_diff.empty()) return block_diff;
  for (const int mode : {0, 0x100, 0x200, 0x300}) {
    for (const ByteStage& stage : kByteStages) {
      char* v = nullptr;
      char* s = nullptr;
      const int vr = stage.vector(&v, text, mode);
      const int sr = stage.scalar(&s, text, mode);
      std::string diff =
          Compare(stage.name, mode, vr, v, v ? std::strlen(v) : 0, sr, s, s ? std::strlen(s) : 0);
      MemFree(v);
      scalar_stages::Free(s);
      if (!diff.empty()) return diff;
    }
    uint16_t* vu = nullptr;
    uint16_t* su = nullptr;
    const int vr = Utf8ToUtf16(&vu, text, mode);
    const int sr = scalar_stages::Utf8ToUtf16(&su, text, mode);
    std::string diff = Compare("Utf8ToUtf16", mode, vr, vu, UnitBytes(vu), sr, su, UnitBytes(su));
    MemFree(vu);
    scalar_stages::Free(su);
    if (!diff.empty()) return diff;
  }
  char* v_title = nullptr;
  char* s_title = nullptr;
  char* v = HtmlToText(text, &v_title);
  char* s = scalar_stages::HtmlToText(text, &s_title);
  std::string diff = Compare("HtmlToText", 0, v != nullptr, v, v ? std::strlen(v) : 0, s != nullptr,
                             s, s ? std::strlen(s) : 0);
  if (diff.empty()) {
    diff = Compare("HtmlToText title", 0, v_title != nullptr, v_title,
                   v_title ? std::strlen(v_title) : 0, s_title != nullptr, s_title,
                   s_title ? std::strlen(s_title) : 0);
  }
  MemFree(v);
  MemFree(v_title);
  scalar_stages::Free(s);
  scalar_stages::Free(s_title);
  return diff;
}

}  // namespace kelvane::paths
