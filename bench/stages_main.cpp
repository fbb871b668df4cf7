// Where one conversion spends its time: the driver's steps in the driver's
// order, each timed on its own, on the program's heap and platform calls.
//   kelvane_stages FILE...   (one line per file, milliseconds)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/convert_file.h"
#include "app/decode_in_parts.h"
#include "app/platform.h"
#include "bench/text_path.h"
#include "common/heap.h"
#include "encoding/detect_encoding.h"
#include "encoding/encoding_id.h"
#include "encoding/line_ends.h"
#include "html/html_to_text.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvane;
  const Platform* platform = DefaultPlatform();
  int status = 0;
  std::printf("%-28s %8s %8s %8s %8s %8s %8s %8s\n", "file", "read", "detect", "decode", "html",
              "crlf", "write", "total");
  for (int i = 1; i < argc; ++i) {
    const std::string out = TextPathFor(argv[i]);
    const Clock::time_point t0 = Clock::now();
    char* block = nullptr;
    uint32_t size = 0;
    if (platform->read_whole_file(argv[i], &block, &size) != ReadResult::kOk) {
      std::fprintf(stderr, "stages: cannot read %s\n", argv[i]);
      status = 1;
      continue;
    }
    const Clock::time_point t1 = Clock::now();
    const int encoding = DetectEncoding(block, kShiftJis, 40);
    const Clock::time_point t2 = Clock::now();
    char* decoded = nullptr;
    uint32_t decoded_length = 0;
    int decode_result = -1;
    // As the driver does: a large text in two parts side by side.
    if (platform->run_both == nullptr || size < kDecodeInPartsFrom ||
        !DecodeInParts(platform->run_both, &decoded, block, size, encoding, &decoded_length,
                       &decode_result)) {
      decode_result = DecodeToShiftJis(&decoded, block, size, encoding, &decoded_length);
    }
    MemFree(block);
    const Clock::time_point t3 = Clock::now();
    if (decode_result == -1) {
      std::fprintf(stderr, "stages: cannot decode %s\n", argv[i]);
      status = 1;
      continue;
    }
    uint32_t text_length = 0;
    // As the driver does with a decoded text: converted in its own block.
    char* text = HtmlToTextInBlock(decoded, decoded_length, &text_length, nullptr);
    const Clock::time_point t4 = Clock::now();
    char* final_text = nullptr;
    uint32_t final_length = 0;
    const int crlf_result =
        text != nullptr
            ? NormalizeLineEndsOfLength(&final_text, text, text_length, kLineEndCrLf, &final_length)
            : -1;
    MemFree(text);
    const Clock::time_point t5 = Clock::now();
    if (crlf_result == -1) {
      std::fprintf(stderr, "stages: cannot convert %s\n", argv[i]);
      status = 1;
      continue;
    }
    if (!platform->write_whole_file(out.c_str(), final_text, final_length)) {
      status = 1;
    }
    MemFree(final_text);
    const Clock::time_point t6 = Clock::now();
    std::string name = argv[i];
    name = name.substr(name.rfind('/') + 1);
    std::printf("%-28s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f\n", name.c_str(), Ms(t0, t1),
                Ms(t1, t2), Ms(t2, t3), Ms(t3, t4), Ms(t4, t5), Ms(t5, t6), Ms(t0, t6));
  }
  return status;
}
