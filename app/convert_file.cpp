// The conversion driver: one HTML file in, one Shift-JIS text file with CRLF
// line ends out, beside it.
//
// Every stage hands back a new block that the driver then owns. The driver
// releases a stage's input as soon as the stage returns, before it looks at the
// result, so no more than two text blocks are alive at any moment; the markup
// scan converts a decoded text in the text's own block. Shift-JIS without a CR
// skips decoding: the read block itself goes on to HtmlToText. A
// large text in another encoding is decoded in two parts side by side
// (decode_in_parts.h), into one block as ever. A large text's line ends and
// write follow its markup scan part by part on another thread
// (write_in_step.h), so its final text never exists whole. Every failure goes
// out through ShowConversionErrorWith with the input path, except the create
// failure, which names the output. The operating system is reached only
// through the Platform table, so this file builds unchanged everywhere.

#include "app/convert_file.h"

#include <cstdint>
#include <cstring>

#include "app/decode_in_parts.h"
#include "app/messages.h"
#include "app/write_in_step.h"
#include "common/heap.h"
#include "common/vector_scan.h"
#include "encoding/detect_encoding.h"
#include "encoding/encoding_id.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"
#include "html/html_to_text.h"

namespace kelvane {
namespace {

// Detection answers ShiftJis when the bytes do not decide, and stops early once
// a score reaches 40.
constexpr int kDetectFallback = kShiftJis;
constexpr int kDetectLimit = 40;

int Fail(const Platform* platform, const char* message, const char* path) {
  ShowConversionErrorWith(platform, message, path);
  return 0;
}

unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Whether the four bytes at dot spell extension (lower case), ASCII letters in
// any case. A NUL ends the comparison as a mismatch, so nothing past the end of
// the path is read.
bool HasExtension(const char* dot, const char* extension) {
  for (int i = 0; i < 4; ++i) {
    unsigned char c = static_cast<unsigned char>(dot[i]);
    if (c == 0 || AsciiLower(c) != static_cast<unsigned char>(extension[i])) return false;
  }
  return true;
}

// The last '.' of the whole path (folder names included) when it starts ".htm"
// or ".xht"; null otherwise.
const char* FindHtmlExtension(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (dot == nullptr) return nullptr;
  if (!HasExtension(dot, ".htm") && !HasExtension(dot, ".xht")) return nullptr;
  return dot;
}

// A new block with the path up to dot followed by ".txt"; null when out of
// memory. Sized from the path, so a path of any length fits.
char* BuildOutputPath(const char* path, const char* dot) {
  std::size_t stem = static_cast<std::size_t>(dot - path);
  char* output = static_cast<char*>(MemAlloc(stem + sizeof(".txt")));
  if (output == nullptr) return nullptr;
  std::memcpy(output, path, stem);
  std::memcpy(output + stem, ".txt", sizeof(".txt"));
  return output;
}

const char* ReadFailureMessage(ReadResult result) {
  switch (result) {
    case ReadResult::kInvalidSize:
      return kInvalidSizeMessage;
    case ReadResult::kOutOfMemory:
      return kOutOfMemoryMessage;
    case ReadResult::kCannotOpen:
    case ReadResult::kOk:
      break;
  }
  return kCannotOpenMessage;
}

// The length of the text in block, up to its first NUL (the one at size at
// the latest), when no CR comes before that NUL; -1 when one does. One pass
// looks for both.
int64_t LengthWithoutCr(const char* block, uint32_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(block);
  const auto* const end = p + size;  // the NUL behind the file's bytes
  if constexpr (kVectorScans) {
    for (; end - p >= kBlockBytes; p += kBlockBytes) {
      const ByteBlock bytes = LoadBlock(p);
      const uint64_t stops = Marks(MatchEither(MatchBelow(bytes, 1), MatchByte(bytes, '\r')));
      if (stops != 0) {
        p += FirstMarked(stops);
        break;
      }
    }
  }
  while (*p != 0 && *p != '\r') ++p;
  if (*p == '\r') return -1;
  return p - reinterpret_cast<const unsigned char*>(block);
}

// Whether the read block is already what decoding would make of it: Shift-JIS
// without a CR before its first NUL, which the line-end rule copies unchanged
// up to that NUL, the same text the next stage reads. Such a block goes on as
// it is, with its length in *length, which spares a pass and a second
// file-sized block; a block too long for the rule's buffers still goes through
// it, and fails there as before.
bool IsFinalShiftJis(const char* block, uint32_t size, int encoding, uint32_t* length) {
  if (encoding != kShiftJis || size >= INT32_MAX) return false;
  const int64_t text = LengthWithoutCr(block, size);
  if (text < 0) return false;
  *length = static_cast<uint32_t>(text);
  return true;
}

// What DecodeBlock gives for a text whose file shrank under it.
constexpr int kTextCut = -2;

// Decodes the read block as DecodeToShiftJis does, in parts where it can, and
// releases the block; kTextCut, with nothing to release, when the block was a
// view of a file that shrank meanwhile.
int DecodeBlock(const Platform* platform, char** result, char* block, uint32_t size, int encoding,
                uint32_t* length) {
  int status = -1;
  if (platform->run_both == nullptr || size < kDecodeInPartsFrom ||
      !DecodeInParts(platform->run_both, result, block, size, encoding, length, &status)) {
    status = DecodeToShiftJis(result, block, size, encoding, length);
  }
  const bool cut = MemViewWasCut(block);
  MemFree(block);
  if (cut && status != -1) {
    MemFree(*result);
    *result = nullptr;
  }
  return cut ? kTextCut : status;
}

// Writes the final text to the output and releases it. An output that is the
// input under another name (a link) is refused: the page would be overwritten
// by its own text.
int WriteOutput(const Platform* platform, const char* path, const char* output_path,
                char* final_text, uint32_t length) {
  if (platform->is_same_file(path, output_path)) {
    MemFree(final_text);
    return Fail(platform, kCreateFailedMessage, output_path);
  }
  int written = platform->write_whole_file(output_path, final_text, length);
  MemFree(final_text);
  if (!written) return Fail(platform, kCreateFailedMessage, output_path);
  return 1;
}

// Whether the last steps run side by side (write_in_step.h): a large text,
// a platform that can, and an output that is not the input, which the steps
// one after the other refuse once the text is made.
bool WritesInStep(const Platform* platform, const char* path, const char* output_path,
                  uint32_t length) {
  return platform->run_both != nullptr && platform->write_file_in_parts != nullptr &&
         length >= kWriteInStepFrom && length < kWriteInStepBelow &&
         !platform->is_same_file(path, output_path);
}

// The messages of WriteInStep's failures, as the steps one after the other
// give them. Releases decoded, except for a text as read that is refused:
// -1 then, and the caller goes on with it.
int ConvertAndWriteInStep(const Platform* platform, const char* path, const char* output_path,
                          char* decoded, uint32_t length, bool as_read) {
  const InStepResult result = WriteInStep(platform, decoded, length, as_read, output_path);
  if (result == InStepResult::kNotAsRead) return -1;
  if (as_read) MemFree(decoded);
  switch (result) {
    case InStepResult::kWritten:
      return 1;
    case InStepResult::kNotAsRead:
    case InStepResult::kMarkupFailed:
      return Fail(platform, kHtmlToTextFailedMessage, path);
    case InStepResult::kLineEndsFailed:
      return Fail(platform, kConversionFailedMessage, path);
    case InStepResult::kInputCut:
      return Fail(platform, kCannotOpenMessage, path);
    case InStepResult::kWriteFailed:
      break;
  }
  return Fail(platform, kCreateFailedMessage, output_path);
}

// Gives the text (null when the markup scan failed) CR LF line ends and writes
// it; releases it.
int WriteText(const Platform* platform, const char* path, const char* output_path, char* text,
              uint32_t text_length) {
  if (text == nullptr) return Fail(platform, kHtmlToTextFailedMessage, path);
  char* final_text = nullptr;
  uint32_t final_length = 0;
  int crlf_result =
      NormalizeLineEndsOfLength(&final_text, text, text_length, kLineEndCrLf, &final_length);
  MemFree(text);
  if (crlf_result == -1) return Fail(platform, kConversionFailedMessage, path);
  return WriteOutput(platform, path, output_path, final_text, final_length);
}

// Converts the first length bytes of the read block, which is already what
// decoding would make of them, and releases it. The markup scan works on a
// copy: the block may be a view of the file itself.
int ConvertAsRead(const Platform* platform, const char* path, const char* output_path, char* block,
                  uint32_t length) {
  if (WritesInStep(platform, path, output_path, length)) {
    const int converted = ConvertAndWriteInStep(platform, path, output_path, block, length, true);
    if (converted != -1) return converted;
  }
  uint32_t text_length = 0;
  char* text = HtmlToTextOfLength(block, length, nullptr, &text_length);
  const bool cut = MemViewWasCut(block);
  MemFree(block);
  if (cut) {
    MemFree(text);
    return Fail(platform, kCannotOpenMessage, path);
  }
  return WriteText(platform, path, output_path, text, text_length);
}

// Reads, decodes, converts and writes; the paths stay the caller's.
int ConvertToOutput(const Platform* platform, const char* path, const char* output_path) {
  char* block = nullptr;
  uint32_t size = 0;
  ReadResult read = platform->read_whole_file(path, &block, &size);
  if (read != ReadResult::kOk) return Fail(platform, ReadFailureMessage(read), path);

  // Each stage hands on its text's length with the text, so none measures
  // what the one before it already knew.
  const int encoding = DetectEncoding(block, kDetectFallback, kDetectLimit);
  // Large Shift-JIS goes in step as read, with no pass of its own to look for
  // a CR or a NUL; one that holds either takes the way below.
  if (encoding == kShiftJis && WritesInStep(platform, path, output_path, size)) {
    const int converted = ConvertAndWriteInStep(platform, path, output_path, block, size, true);
    if (converted != -1) return converted;
  }
  uint32_t length = 0;
  if (IsFinalShiftJis(block, size, encoding, &length)) {
    return ConvertAsRead(platform, path, output_path, block, length);
  }
  char* decoded = nullptr;
  const int decoded_as = DecodeBlock(platform, &decoded, block, size, encoding, &length);
  if (decoded_as == kTextCut) return Fail(platform, kCannotOpenMessage, path);
  if (decoded_as == -1) return Fail(platform, kConversionFailedMessage, path);
  if (WritesInStep(platform, path, output_path, length)) {
    return ConvertAndWriteInStep(platform, path, output_path, decoded, length, false);
  }
  uint32_t text_length = 0;
  char* text = HtmlToTextInBlock(decoded, length, &text_length, nullptr);
  return WriteText(platform, path, output_path, text, text_length);
}

}  // namespace

int DecodeToShiftJis(char** result, const char* block, int encoding) {
  uint32_t length = 0;
  return DecodeToShiftJis(result, block, encoding, &length);
}

int DecodeToShiftJis(char** result, const char* block, int encoding, uint32_t* length) {
  // The block carries three NUL bytes behind the data, so UTF-16 text of any
  // size ends in a zero unit inside it.
  const uint16_t* units = reinterpret_cast<const uint16_t*>(block);
  switch (encoding) {
    case kUtf16Le:
      return DecodeUtf16Le(result, units, kLineEndLf, length);
    case kUtf16Be:
      return DecodeUtf16Be(result, units, kLineEndLf, length);
    case kUtf8:
      return DecodeUtf8(result, block, kLineEndLf, length);
    case kShiftJis:
      // Already Shift-JIS: only the line ends change.
      return NormalizeLineEnds(result, block, static_cast<int>(kLineEndLf) | kShiftJis, length);
    case kEucJp:
      return DecodeEucJp(result, block, kLineEndLf, length);
    case kIso2022Jp:
      return DecodeIso2022Jp(result, block, kLineEndLf, length);
    default:
      return -1;
  }
}

int DecodeToShiftJis(char** result, const char* block, uint32_t size, int encoding,
                     uint32_t* length) {
  switch (encoding) {
    case kUtf8:
      return DecodeUtf8InBlock(result, block, size, kLineEndLf, length);
    case kEucJp:
      return DecodeEucJpInBlock(result, block, size, kLineEndLf, length);
    case kIso2022Jp:
      return DecodeIso2022JpInBlock(result, block, size, kLineEndLf, length);
    default:
      return DecodeToShiftJis(result, block, encoding, length);
  }
}

int ConvertFileWith(const Platform* platform, const char* path) {
  if (path == nullptr) return 0;
  const char* dot = FindHtmlExtension(path);
  if (dot == nullptr) return Fail(platform, kNotHtmlMessage, path);
  char* output_path = BuildOutputPath(path, dot);
  if (output_path == nullptr) return Fail(platform, kOutOfMemoryMessage, path);
  int converted = ConvertToOutput(platform, path, output_path);
  MemFree(output_path);
  return converted;
}

int ConvertStreamWith(const Platform* platform, const char* name) {
  if (name == nullptr) return 0;
  return ConvertToOutput(platform, name, name);
}

int ConvertFile(const char* path) {
  return ConvertFileWith(DefaultPlatform(), path);
}

int ShowConversionErrorWith(const Platform* platform, const char* message, const char* path) {
  return platform->show_warning(message != nullptr ? message : kUnknownErrorMessage, path);
}

int ShowConversionError(const char* message, const char* path) {
  return ShowConversionErrorWith(DefaultPlatform(), message, path);
}

}  // namespace kelvane
