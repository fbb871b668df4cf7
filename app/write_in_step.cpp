// The writer follows the scan through TextProgress: it takes the output up to
// final_bytes in parts of kPartBytes, gives each CR LF line ends in one small
// buffer that stays in the cache, and hands it to the platform's write. The
// scan never waits for the writer; the writer waits for the scan, so run in
// order (the fallback of run_both) the two still finish.
#include "app/write_in_step.h"

#include <atomic>
#include <thread>

#include "common/buffers.h"
#include "common/heap.h"
#include "common/vector_scan.h"
#include "encoding/encoding_id.h"
#include "encoding/line_ends.h"
#include "html/html_to_text.h"

namespace kelvane {
namespace {

// Scan output per part: small enough that a part and its CR LF copy stay in
// the cache between the two steps.
constexpr uint32_t kPartBytes = 128 << 10;
// Turns of the wait before each yield of the processor.
constexpr int kSpinsBeforeYield = 256;

struct Writer {
  const Platform* platform;
  const char* output_path;
  TextProgress* progress;
  LineEndRule rule;
  TextBuffer part;      // the part with CR LF line ends
  uint32_t taken;       // scan output bytes already made parts
  const char* as_read;  // the text as read, or null
  bool part_failed;
  bool input_cut;
  int written;
};

struct Scanner {
  char* decoded;
  uint32_t length;
  bool as_read;
  TextProgress* progress;
  char* text;
};

// Either side's job: run_both hands the same function both records.
struct Side {
  Scanner* scanner;  // null on the writer's side
  Writer* writer;
};

// The next part of the scan's output with CR LF line ends, once the scan has
// made it final; 0 when the scan is done and every byte was handed over, -1
// when it failed.
int NextPartOfText(void* source, const char** data, uint32_t* size) {
  Writer* writer = static_cast<Writer*>(source);
  TextProgress* const progress = writer->progress;
  for (int spins = 1;; ++spins) {
    // The outcome first: once it reads done, final_bytes is the whole length.
    const int outcome = progress->outcome.load(std::memory_order_acquire);
    if (outcome < 0) return -1;  // failed, or refused as read
    const uint32_t ready = progress->final_bytes.load(std::memory_order_acquire);
    if (ready > writer->taken) {
      const uint32_t n = ready - writer->taken < kPartBytes ? ready - writer->taken : kPartBytes;
      const char* block = progress->block.load(std::memory_order_acquire);
      writer->part.length = 0;
      if (!NormalizeLineEndsOfPart(&writer->rule, block + writer->taken, n, &writer->part)) {
        writer->part_failed = true;
        return -1;
      }
      writer->taken += n;
      *data = writer->part.data;
      *size = writer->part.length;
      return 1;
    }
    if (outcome == TextProgress::kTextDone) {
      // The scan is done with the text as read: a file cut under it gets no
      // output.
      if (writer->as_read != nullptr && MemViewWasCut(writer->as_read)) {
        writer->input_cut = true;
        return -1;
      }
      return 0;
    }
    PauseWhileWaiting();
    if (spins % kSpinsBeforeYield == 0) std::this_thread::yield();
  }
}

void RunSide(void* argument) {
  Side* side = static_cast<Side*>(argument);
  if (side->scanner != nullptr) {
    Scanner* scanner = side->scanner;
    uint32_t text_length = 0;
    scanner->progress->as_read = scanner->as_read;
    scanner->text = scanner->as_read ? HtmlToTextShowingProgress(scanner->decoded, scanner->length,
                                                                 &text_length, scanner->progress)
                                     : HtmlToTextInBlock(scanner->decoded, scanner->length,
                                                         &text_length, scanner->progress);
    return;
  }
  Writer* writer = side->writer;
  writer->written =
      writer->platform->write_file_in_parts(writer->output_path, NextPartOfText, writer);
}

}  // namespace

InStepResult WriteInStep(const Platform* platform, char* decoded, uint32_t length, bool as_read,
                         const char* output_path) {
  TextProgress progress;
  Writer writer{.platform = platform,
                .output_path = output_path,
                .progress = &progress,
                .rule = StartLineEndRule(kLineEndCrLf),
                .part = {},
                .taken = 0,
                .as_read = as_read ? decoded : nullptr,
                .part_failed = false,
                .input_cut = false,
                .written = 0};
  // Room for a part whose every byte is a line end, so no part grows it.
  InitTextBuffer(&writer.part);
  if (!ReserveTextBuffer(&writer.part, 2 * kPartBytes)) {
    ReleaseTextBuffer(&writer.part);
    if (as_read) return InStepResult::kNotAsRead;
    MemFree(decoded);
    return InStepResult::kLineEndsFailed;
  }
  Scanner scanner{decoded, length, as_read, &progress, nullptr};
  Side scan_side{&scanner, nullptr};
  Side write_side{nullptr, &writer};
  platform->run_both(RunSide, &scan_side, &write_side);

  ReleaseTextBuffer(&writer.part);
  // On failure a block the scan has published is left to us.
  MemFree(scanner.text != nullptr ? scanner.text : progress.block.load());
  if (progress.outcome.load() == TextProgress::kTextRefusedAsRead) return InStepResult::kNotAsRead;
  if (scanner.text == nullptr) return InStepResult::kMarkupFailed;
  if (writer.input_cut) return InStepResult::kInputCut;
  if (writer.part_failed) return InStepResult::kLineEndsFailed;
  return writer.written ? InStepResult::kWritten : InStepResult::kWriteFailed;
}

}  // namespace kelvane
