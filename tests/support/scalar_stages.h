// The core's byte stages as the scalar build has them: the same sources
// compiled without vector instructions into the namespace kelvane_scalar
// (the kelvane_core_scalar library), so that a test or fuzz target can run
// both paths on one input and require the same result. Results are freed with
// scalar_stages::Free, as that core has a heap of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scalar_stages {

int DecodeEucJp(char** result, const char* text, int mode);
int DecodeIso2022Jp(char** result, const char* text, int mode);
int DecodeUtf8(char** result, const char* bytes, int mode);
int Utf8ToUtf16(uint16_t** result, const char* bytes, int mode);
int NormalizeLineEnds(char** result, const char* text, int flags);
char* HtmlToText(const char* text, char** title);
// HtmlToTextShowingProgress as read: the output, or null with the outcome.
char* HtmlToTextAsRead(const char* text, std::size_t length, uint32_t* text_length, int* outcome);
bool HasTerminatorBefore(const char* text, uint32_t bytes, uint32_t unit);
void Free(void* p);

}  // namespace scalar_stages
