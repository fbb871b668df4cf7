// The fake stages keep the real ones' contract: a new block from MemAlloc on
// success, -1 or null and nothing allocated on failure (a failed allocation
// included, so the heap fault sweep reaches the driver's failure paths).

#include "tests/app/fake_stages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/heap.h"
#include "encoding/detect_encoding.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"
#include "html/html_to_text.h"
#include "tests/support/test_heap.h"

namespace kelvane::testing {

FakeStages& Stages() {
  static FakeStages stages;
  return stages;
}

void RecordCall(const std::string& entry) {
  Stages().calls.push_back(entry);
  Stages().live_on_entry.push_back(LiveBlocks() - Stages().baseline);
}

namespace {

std::string WithMode(const char* name, int mode) {
  char hex[16];
  std::snprintf(hex, sizeof hex, " 0x%X", static_cast<unsigned>(mode));
  return name + std::string(hex);
}

char* NewText(const char* text) {
  std::size_t n = std::strlen(text) + 1;
  char* block = static_cast<char*>(MemAlloc(n));
  if (block != nullptr) std::memcpy(block, text, n);
  return block;
}

// The stages that hand on their output's length: that of the fake's text.
int Measured(int outcome, char** result, uint32_t* length) {
  if (outcome != -1 && length != nullptr) *length = static_cast<uint32_t>(std::strlen(*result));
  return outcome;
}

// The driver hands a stage the length of the text it got from the one before.
void ExpectLength(const char* text, std::size_t length) {
  if (text != nullptr && std::strlen(text) != length) {
    ADD_FAILURE() << "a stage was told " << length << " bytes for a text of " << std::strlen(text);
  }
}

// A byte decoder is handed the read block's size, which its NUL follows.
void ExpectBlock(const char* block, std::size_t size) {
  if (block != nullptr && block[size] != 0) {
    ADD_FAILURE() << "a decoder was told " << size << " bytes for a block of "
                  << std::strlen(block);
  }
}

// A decoding stage: fails when told to or out of memory, else returns id.
int Decode(const char* name, char** result, int mode, int id) {
  RecordCall(WithMode(name, mode));
  if (Stages().decode_fails) return -1;
  *result = NewText("decoded text\n");
  return *result != nullptr ? id : -1;
}

}  // namespace
}  // namespace kelvane::testing

namespace kelvane {

using testing::Decode;
using testing::Stages;

int DetectEncoding(const char* text, int fallback, int limit) {
  testing::RecordCall(std::string(text == nullptr ? "DetectEncoding(null) " : "DetectEncoding ") +
                      std::to_string(fallback) + " " + std::to_string(limit));
  return Stages().detected;
}

int DecodeUtf16Le(char** result, const uint16_t*, int mode) {
  return Decode("DecodeUtf16Le", result, mode, 1);
}
int DecodeUtf16Be(char** result, const uint16_t*, int mode) {
  return Decode("DecodeUtf16Be", result, mode, 2);
}
int DecodeUtf8(char** result, const char*, int mode) {
  return Decode("DecodeUtf8", result, mode, 3);
}
int DecodeEucJp(char** result, const char*, int mode) {
  return Decode("DecodeEucJp", result, mode, 6);
}
int DecodeIso2022Jp(char** result, const char*, int mode) {
  return Decode("DecodeIso2022Jp", result, mode, 7);
}

int NormalizeLineEnds(char** result, const char*, int flags) {
  if ((flags & 0xF00) != 0x300) return Decode("NormalizeLineEnds", result, flags, flags & 0xF);
  testing::RecordCall(testing::WithMode("NormalizeLineEnds", flags));
  if (Stages().crlf_fails) return -1;
  *result = testing::NewText(Stages().final_text.c_str());
  return *result != nullptr ? 0 : -1;
}

char* HtmlToText(const char* text, char** title) {
  testing::RecordCall(title == nullptr ? "HtmlToText" : "HtmlToText(title)");
  if (Stages().html_fails || text == nullptr) return nullptr;
  return testing::NewText("converted text\n");
}

int DecodeUtf16Le(char** result, const uint16_t* units, int mode, uint32_t* length) {
  return testing::Measured(DecodeUtf16Le(result, units, mode), result, length);
}
int DecodeUtf16Be(char** result, const uint16_t* units, int mode, uint32_t* length) {
  return testing::Measured(DecodeUtf16Be(result, units, mode), result, length);
}
int DecodeUtf8(char** result, const char* bytes, int mode, uint32_t* length) {
  return testing::Measured(DecodeUtf8(result, bytes, mode), result, length);
}
int DecodeEucJp(char** result, const char* text, int mode, uint32_t* length) {
  return testing::Measured(DecodeEucJp(result, text, mode), result, length);
}
int DecodeIso2022Jp(char** result, const char* text, int mode, uint32_t* length) {
  return testing::Measured(DecodeIso2022Jp(result, text, mode), result, length);
}
int DecodeUtf8InBlock(char** result, const char* block, std::size_t size, int mode,
                      uint32_t* length) {
  testing::ExpectBlock(block, size);
  return DecodeUtf8(result, block, mode, length);
}
int DecodeEucJpInBlock(char** result, const char* block, std::size_t size, int mode,
                       uint32_t* length) {
  testing::ExpectBlock(block, size);
  return DecodeEucJp(result, block, mode, length);
}
int DecodeIso2022JpInBlock(char** result, const char* block, std::size_t size, int mode,
                           uint32_t* length) {
  testing::ExpectBlock(block, size);
  return DecodeIso2022Jp(result, block, mode, length);
}
// The driver decodes in parts only on a platform that runs jobs side by side,
// which the fake one does not.
int UnexpectedPart() {
  ADD_FAILURE() << "a part was decoded on a platform that runs no jobs";
  return -1;
}
int DecodeUtf16LeInto(TextBuffer*, const uint16_t*, int, uint32_t*) {
  return UnexpectedPart();
}
int DecodeUtf16BeInto(TextBuffer*, const uint16_t*, int, uint32_t*) {
  return UnexpectedPart();
}
int DecodeUtf8Into(TextBuffer*, const char*, std::size_t, int, uint32_t*) {
  return UnexpectedPart();
}
int DecodeEucJpInto(TextBuffer*, const char*, std::size_t, int, uint32_t*) {
  return UnexpectedPart();
}
int DecodeIso2022JpInto(TextBuffer*, const char*, std::size_t, int, uint32_t*) {
  return UnexpectedPart();
}
// Nor does it write a text in step with its scan.
int NormalizeLineEndsOfPart(LineEndRule*, const char*, std::size_t, TextBuffer*) {
  return UnexpectedPart() + 1;
}
char* HtmlToTextShowingProgress(const char*, std::size_t, uint32_t*, TextProgress* progress) {
  UnexpectedPart();
  progress->outcome.store(TextProgress::kTextFailed);
  return nullptr;
}
int NormalizeLineEnds(char** result, const char* text, int flags, uint32_t* length) {
  return testing::Measured(NormalizeLineEnds(result, text, flags), result, length);
}
int NormalizeLineEndsOfLength(char** result, const char* text, std::size_t text_length, int flags,
                              uint32_t* length) {
  testing::ExpectLength(text, text_length);
  return testing::Measured(NormalizeLineEnds(result, text, flags), result, length);
}

char* HtmlToTextOfLength(const char* text, std::size_t length, char** title,
                         uint32_t* text_length) {
  testing::ExpectLength(text, length);
  char* converted = HtmlToText(text, title);
  if (converted != nullptr && text_length != nullptr) {
    *text_length = static_cast<uint32_t>(std::strlen(converted));
  }
  return converted;
}

// Converts as HtmlToTextOfLength does, then releases the text it took over.
char* HtmlToTextInBlock(char* text, uint32_t length, uint32_t* text_length,
                        TextProgress* progress) {
  if (progress != nullptr) {
    UnexpectedPart();
    progress->outcome.store(TextProgress::kTextFailed);
    MemFree(text);
    return nullptr;
  }
  char* converted = HtmlToTextOfLength(text, length, nullptr, text_length);
  MemFree(text);
  return converted;
}

}  // namespace kelvane
