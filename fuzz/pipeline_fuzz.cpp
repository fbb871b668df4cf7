// The whole in-memory pipeline, through the driver with a platform that reads
// the fuzz input and captures what would be written or shown. A conversion
// either writes once and shows nothing, or shows one message and writes
// nothing; what it writes has CRLF line ends and, unless the input went
// through as Shift-JIS (whose bytes are passed on as they are), is decodable
// Shift-JIS; the same input always gives the same outcome; and that outcome is
// the one of the three stages run one after another, though the driver skips
// the decoding stage where it would change nothing. Decoding in two parts, as
// the driver does with large texts, gives what decoding the whole gives, and
// so do the last steps run in step (the markup scan, then the line ends and
// the write part by part), Shift-JIS as read included.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/convert_file.h"
#include "app/decode_in_parts.h"
#include "app/messages.h"
#include "app/write_in_step.h"
#include "common/heap.h"
#include "encoding/detect_encoding.h"
#include "encoding/encoding_id.h"
#include "encoding/line_ends.h"
#include "fuzz/fuzz_support.h"
#include "html/html_to_text.h"

namespace {

using namespace kelvane;

struct Outcome {
  int result = 0;
  int writes = 0;
  int warnings = 0;
  std::string written;
  std::string message;
};

const uint8_t* g_data = nullptr;
size_t g_size = 0;
Outcome* g_outcome = nullptr;

ReadResult ReadInput(const char*, char** block, uint32_t* size) {
  if (g_size == 0) return ReadResult::kInvalidSize;
  char* b = static_cast<char*>(MemAlloc(g_size + 3));
  if (b == nullptr) return ReadResult::kOutOfMemory;
  std::memcpy(b, g_data, g_size);
  std::memset(b + g_size, 0, 3);
  *block = b;
  *size = static_cast<uint32_t>(g_size);
  return ReadResult::kOk;
}

int CaptureWrite(const char*, const char* data, uint32_t size) {
  ++g_outcome->writes;
  g_outcome->written.assign(data, size);
  return 1;
}

int CaptureWarning(const char* message, const char*) {
  ++g_outcome->warnings;
  g_outcome->message = message != nullptr ? message : "";
  return 1;
}

// The input and the output are two files here.
int NeverSameFile(const char*, const char*) {
  return 0;
}

const Platform kCapture = {ReadInput,      CaptureWrite, NeverSameFile,
                           CaptureWarning, nullptr,      nullptr};

Outcome Convert() {
  Outcome outcome;
  g_outcome = &outcome;
  outcome.result = ConvertFileWith(&kCapture, "input.html");
  g_outcome = nullptr;
  return outcome;
}

// What the stages give when each of them runs: the text to write, or the
// message of the stage that failed.
Outcome RunEveryStage(const char* block) {
  Outcome outcome;
  char* decoded = nullptr;
  if (DecodeToShiftJis(&decoded, block, DetectEncoding(block, kShiftJis, 40)) == -1) {
    outcome.message = kConversionFailedMessage;
    return outcome;
  }
  char* text = HtmlToText(decoded, nullptr);
  MemFree(decoded);
  if (text == nullptr) {
    outcome.message = kHtmlToTextFailedMessage;
    return outcome;
  }
  char* final_text = nullptr;
  const int crlf = NormalizeLineEnds(&final_text, text, kLineEndCrLf);
  MemFree(text);
  if (crlf == -1) {
    outcome.message = kConversionFailedMessage;
    return outcome;
  }
  outcome.result = 1;
  outcome.written = final_text;
  MemFree(final_text);
  return outcome;
}

void RunInOrder(void (*job)(void*), void* first, void* second) {
  job(first);
  job(second);
}

// Decoding in two parts gives what decoding the whole gives, in every encoding
// that is cut, or declines and leaves the block as it was.
void CheckParts(const std::string& terminated, size_t size) {
  for (int encoding : {kUtf16Le, kUtf16Be, kUtf8, kEucJp, kIso2022Jp}) {
    char* whole = nullptr;
    uint32_t whole_length = 0;
    const int want = DecodeToShiftJis(&whole, terminated.data(), encoding, &whole_length);
    std::string block = terminated;
    char* parts = nullptr;
    uint32_t length = 0;
    int status = -1;
    if (DecodeInParts(&RunInOrder, &parts, block.data(), static_cast<uint32_t>(size), encoding,
                      &length, &status)) {
      fuzz::Require(want != -1 && status == want && length == whole_length &&
                        std::memcmp(parts, whole, std::size_t{length} + 1) == 0,
                    "the parts give the whole text");
      MemFree(parts);
    } else {
      fuzz::Require(block == terminated, "declined parts leave the block as it was");
    }
    MemFree(whole);
  }
}

int CaptureParts(const char*, NextPart next_part, void* source) {
  ++g_outcome->writes;
  const char* data = nullptr;
  uint32_t size = 0;
  int next;
  while ((next = next_part(source, &data, &size)) == 1) g_outcome->written.append(data, size);
  return next == 0 ? 1 : 0;
}

const Platform kInStep = {nullptr, nullptr, nullptr, nullptr, RunInOrder, CaptureParts};

// The last steps in step, on the decoded text, give what they give one after
// the other: the text written, or the markup's failure with the write told
// to give up.
void CheckInStep(const char* block, size_t size, const Outcome& staged) {
  // Shift-JIS as read: refused where it holds a CR or a NUL, else the stages'
  // text or the markup's failure.
  if (DetectEncoding(block, kShiftJis, 40) == kShiftJis) {
    Outcome outcome;
    g_outcome = &outcome;
    // As read, the block is only read.
    const InStepResult result = WriteInStep(&kInStep, const_cast<char*>(block),
                                            static_cast<uint32_t>(size), true, "out.txt");
    g_outcome = nullptr;
    const bool plain = std::memchr(block, '\r', size) == nullptr && std::strlen(block) == size;
    fuzz::Require((result == InStepResult::kNotAsRead) == !plain,
                  "as read, a CR or a NUL and nothing else is refused");
    if (plain) {
      fuzz::Require(staged.result == 1
                        ? result == InStepResult::kWritten && outcome.written == staged.written
                        : result == InStepResult::kMarkupFailed,
                    "as read, in step gives what the stages give");
    }
  }
  char* decoded = nullptr;
  uint32_t length = 0;
  if (DecodeToShiftJis(&decoded, block, DetectEncoding(block, kShiftJis, 40), &length) == -1)
    return;
  Outcome outcome;
  g_outcome = &outcome;
  // Converted in its own block, which the call releases.
  const InStepResult result = WriteInStep(&kInStep, decoded, length, false, "out.txt");
  g_outcome = nullptr;
  if (staged.result == 1) {
    fuzz::Require(result == InStepResult::kWritten && outcome.written == staged.written,
                  "in step, the text written is the stages' text");
  } else {
    fuzz::Require(result == InStepResult::kMarkupFailed, "in step, the markup fails as alone");
  }
}

void CheckCrLf(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') fuzz::Require(i > 0 && s[i - 1] == '\r', "every LF follows a CR");
    if (s[i] == '\r')
      fuzz::Require(i + 1 < s.size() && s[i + 1] == '\n', "every CR precedes an LF");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  g_data = data;
  g_size = size;
  Outcome first = Convert();
  Outcome second = Convert();
  fuzz::Require(first.result == second.result && first.written == second.written &&
                    first.message == second.message,
                "the pipeline is deterministic");
  std::string terminated(reinterpret_cast<const char*>(data), size);
  terminated.append(3, '\0');
  // An empty input is refused by its size before any stage runs.
  if (size > 0) {
    const Outcome staged = RunEveryStage(terminated.data());
    fuzz::Require(first.result == staged.result && first.written == staged.written &&
                      (first.result == 1 || first.message == staged.message),
                  "the driver gives what the three stages give");
    CheckParts(terminated, size);
    CheckInStep(terminated.data(), size, staged);
  }
  if (first.result == 1) {
    fuzz::Require(first.writes == 1 && first.warnings == 0, "success writes once, shows nothing");
    fuzz::Require(std::strlen(first.written.c_str()) == first.written.size(), "no NUL written");
    if (DetectEncoding(terminated.data(), 5, 40) != 5) {
      fuzz::Require(fuzz::IsDecodableShiftJis(first.written.c_str()),
                    "output is decodable Shift-JIS");
    }
    CheckCrLf(first.written);
  } else {
    fuzz::Require(first.writes == 0 && first.warnings == 1,
                  "failure shows one message, writes nothing");
  }
  return 0;
}
