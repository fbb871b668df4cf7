// NormalizeLineEnds: the line-end rule over byte text. Shift-JIS needs no
// character walk here, since its trail bytes (40-7E, 80-FC) are never CR or LF.
//
// The text is tested and copied sixteen bytes at a time where the machine has
// vector scans (common/vector_scan.h), otherwise eight; a block with a byte
// below 0E is copied up to that byte, which then gets the rule.
#include "encoding/line_ends.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "common/vector_scan.h"
#include "common/word_scan.h"
#include "encoding/line_end_rule.h"
#include "encoding/stage_start.h"

namespace kelvane {
namespace {

// Copies words that hold no CR or LF while the block has room, and at the
// first byte below 0E (CR, LF, or a rarer control such as tab) copies what
// stands before it and applies the rule to it; returns where it stopped: the
// last few bytes, or a block too full to go on. Lines of text are short, so
// testing and copying in one step beats a memchr and a memcpy per line.
const unsigned char* CopyWordsWithRule(LineEndRule* rule, const unsigned char* p,
                                       const unsigned char* end, TextBuffer* out) {
  if (out->capacity - out->length < 10) return p;
  char* d = out->data + out->length;
  char* const last = out->data + out->capacity - 9;  // a word, a line end and the NUL
  while (d <= last && end - p >= 8) {
    int plain = -1;
    if constexpr (kVectorScans) {
      // As many blocks as the text and the room allow, counted once: the
      // stops are a line or more apart.
      std::ptrdiff_t blocks =
          last - d >= kBlockBytes - 8
              ? std::min((last - d - (kBlockBytes - 8)) / kBlockBytes + 1, (end - p) / kBlockBytes)
              : 0;
      for (; blocks > 0; --blocks) {
        const ByteBlock block = LoadBlock(p);
        StoreBlock(d, block);
        const uint64_t low = Marks(MatchBelow(block, 0x0E));
        if (low != 0) {
          plain = FirstMarked(low);
          break;
        }
        d += kBlockBytes;
        p += kBlockBytes;
      }
      if (plain < 0 && (d > last || end - p < 8)) break;
    }
    if (plain < 0) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      std::memcpy(d, &word, 8);
      const uint64_t low = BytesBelow(word, 0x0E);
      if (low == 0) {
        d += 8;
        p += 8;
        continue;
      }
      plain = FirstMarkedByte(low);
    }
    d += plain;
    p += plain;
    const unsigned c = *p++;
    if (c != '\r' && c != '\n') {
      *d++ = static_cast<char>(c);
    } else if (TakeLineEnd(rule, c)) {
      if (rule->mode == kLineEndCr || rule->mode == kLineEndCrLf) *d++ = '\r';
      if (rule->mode == kLineEndLf || rule->mode == kLineEndCrLf) *d++ = '\n';
    }
  }
  out->length = static_cast<uint32_t>(d - out->data);
  return p;
}

void CopyWithRule(TextBuffer* out, const char* text, const char* text_end, LineEndRule* rule) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* end = reinterpret_cast<const unsigned char*>(text_end);
  while (p < end) {
    if constexpr (std::endian::native == std::endian::little) {
      p = CopyWordsWithRule(rule, p, end, out);
      if (p == end) return;
    }
    // The tail, and whatever a full block leaves, a byte at a time through
    // the buffer's own growth.
    const unsigned c = *p++;
    if (c == '\r' || c == '\n') {
      PutLineEnd(rule, out, c);
    } else {
      PushByte(out, static_cast<int>(c));
    }
  }
}

}  // namespace

int NormalizeLineEnds(char** result, const char* text, int flags) {
  return NormalizeLineEnds(result, text, flags, nullptr);
}

int NormalizeLineEnds(char** result, const char* text, int flags, uint32_t* length) {
  if (text == nullptr) return -1;
  return NormalizeLineEndsOfLength(result, text, std::strlen(text), flags, length);
}

int NormalizeLineEndsOfLength(char** result, const char* text, std::size_t text_length, int flags,
                              uint32_t* length) {
  const int mode = flags & 0xF00;
  TextBuffer out;
  StageStart start;
  if (!StartStageOfLength(result, text, text_length, mode, 0, &out, &start)) return -1;
  if (start.ok) {
    const char* end = reinterpret_cast<const char*>(start.end);
    if (mode == 0) {
      AppendSpan(&out, text, static_cast<std::size_t>(end - text));
    } else {
      LineEndRule rule = StartLineEndRule(mode);
      CopyWithRule(&out, text, end, &rule);
    }
  }
  return FinishTextStage(&out, true, result, flags & 0xF, length);
}

}  // namespace kelvane

namespace kelvane {

int NormalizeLineEndsOfPart(LineEndRule* rule, const char* part, std::size_t length,
                            TextBuffer* out) {
  CopyWithRule(out, part, part + length, rule);
  return out->failed == 0;
}

}  // namespace kelvane
