// The markup scan, the line ends and the write side by side, against the same
// steps one after the other: the same bytes written, and each failure told
// apart, whether the two sides run in order or on two threads.
#include "app/write_in_step.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/heap.h"
#include "encoding/encoding_id.h"
#include "encoding/line_ends.h"
#include "html/html_to_text.h"
#include "html/markup_table_build.h"
#include "tests/app/job_runners.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::RunInOrder;
using testing::RunOnTwoThreads;

// What the write saw: the bytes of the parts it took, and the last answer of
// the source. It fails instead of taking part number fail_at.
struct Recorder {
  std::string written;
  int parts = 0;
  int fail_at = -1;
  int last_answer = 99;
};

Recorder* recorder = nullptr;

int RecordParts(const char* /*path*/, NextPart next_part, void* source) {
  for (;;) {
    const char* data = nullptr;
    uint32_t size = 0;
    recorder->last_answer = next_part(source, &data, &size);
    if (recorder->last_answer != 1) return recorder->last_answer == 0 ? 1 : 0;
    if (recorder->parts == recorder->fail_at) return 0;
    recorder->written.append(data, size);
    ++recorder->parts;
  }
}

Platform Recording(void (*run_both)(void (*)(void*), void*, void*)) {
  return Platform{nullptr, nullptr, nullptr, nullptr, run_both, RecordParts};
}

// Well over a megabyte of output, so the scan publishes many times; a CR from
// a reference before each paragraph's end, whose LF the CR then swallows, at
// times across two parts.
std::string LargePage() {
  std::string page = "<html><head><title>t</title></head><body>\n";
  for (int i = 0; page.size() < (3u << 20); ++i) {
    page += "<p>line " + std::to_string(i) + " \x93\xFA\x96\x7B&amp;&#13;</p>\n<pre>a\n b</pre>";
  }
  return page + "</body></html>\n";
}

// The page in a block of the heap's, which WriteInStep takes over unless it
// converts a text as read.
char* HeapCopy(const std::string& page) {
  char* block = static_cast<char*>(MemAlloc(page.size() + 1));
  std::memcpy(block, page.c_str(), page.size() + 1);
  return block;
}

// The steps one after the other.
std::string OneAfterTheOther(const std::string& page) {
  uint32_t length = 0;
  char* text = HtmlToTextOfLength(page.c_str(), page.size(), nullptr, &length);
  if (text == nullptr) return "(null)";
  char* final_text = nullptr;
  uint32_t final_length = 0;
  EXPECT_NE(NormalizeLineEndsOfLength(&final_text, text, length, kLineEndCrLf, &final_length), -1);
  std::string out(final_text, final_length);
  MemFree(text);
  MemFree(final_text);
  return out;
}

struct Row {
  const char* name;
  std::string page;
  int fail_at;
  InStepResult want;
};

TEST(WriteInStep, WritesWhatTheStepsOneAfterTheOtherWrite) {
  const std::string page = LargePage();
  const std::string want = OneAfterTheOther(page);
  // The reference's CR took the place of the paragraph's line end.
  ASSERT_NE(want.find("&\r\n"), std::string::npos);
  const Row rows[] = {
      {"whole", page, -1, InStepResult::kWritten},
      {"the write fails", page, 3, InStepResult::kWriteFailed},
      {"the markup fails", "<html><body" + std::string(2u << 20, 'x'), -1,
       InStepResult::kMarkupFailed},
      // Fails before the scan starts: the write must still be told.
      {"an empty text", "", -1, InStepResult::kMarkupFailed},
  };
  for (const Row& row : rows) {
    for (auto run_both : {&RunInOrder, &RunOnTwoThreads}) {
      SCOPED_TRACE(std::string(row.name) +
                   (run_both == &RunInOrder ? " in order" : " on two threads"));
      const long live = testing::LiveBlocks();
      Recorder seen;
      seen.fail_at = row.fail_at;
      recorder = &seen;
      const Platform platform = Recording(run_both);
      EXPECT_EQ(WriteInStep(&platform, HeapCopy(row.page), static_cast<uint32_t>(row.page.size()),
                            false, "out.txt"),
                row.want);
      EXPECT_EQ(testing::LiveBlocks(), live);
      if (row.want == InStepResult::kWritten) {
        EXPECT_GT(seen.parts, 8);
        EXPECT_EQ(seen.written, want);
        EXPECT_EQ(seen.last_answer, 0);
      }
      if (row.want == InStepResult::kMarkupFailed) {
        EXPECT_EQ(seen.last_answer, -1);
      }
    }
  }
}

// A text as read whose file shrank under it while the scan read it: the write
// is told to give up once the scan is done.
TEST(WriteInStep, ATextAsReadWhoseFileWasCutIsNotWritten) {
  const std::string page = LargePage();
  for (auto run_both : {&RunInOrder, &RunOnTwoThreads}) {
    ClearMarkupTables();
    const long live = testing::LiveBlocks();
    char* block = HeapCopy(page);
    testing::TreatAsCutView(block);
    Recorder seen;
    recorder = &seen;
    const Platform platform = Recording(run_both);
    EXPECT_EQ(WriteInStep(&platform, block, static_cast<uint32_t>(page.size()), true, "out.txt"),
              InStepResult::kInputCut);
    EXPECT_EQ(seen.last_answer, -1);
    testing::TreatAsCutView(nullptr);
    MemFree(block);
    ClearMarkupTables();
    EXPECT_EQ(testing::LiveBlocks(), live);
  }
}

// Every allocation failed in turn, in order: the text written whole, or a
// failure that tells the write to give up and leaks nothing. A text as read is
// refused instead where memory runs short before any output, so that the
// usual way says what failed.
TEST(WriteInStep, EveryFailedAllocationWritesAllOrGivesUp) {
  const std::string page = LargePage().substr(0, 300000) + "<br>";
  const std::string want = OneAfterTheOther(page);
  const Platform platform = Recording(&RunInOrder);
  for (const bool as_read : {false, true}) {
    SCOPED_TRACE(as_read ? "as read" : "decoded");
    int markup_failures = 0;
    int refused_by_the_scan = 0;
    for (long n = 1;; ++n) {
      ClearMarkupTables();
      const long live = testing::LiveBlocks();
      Recorder seen;
      recorder = &seen;
      char* block = HeapCopy(page);
      testing::FailNthAllocation(n);
      const InStepResult result =
          WriteInStep(&platform, block, static_cast<uint32_t>(page.size()), as_read, "out.txt");
      const bool injected = testing::InjectedFailureHappened();
      testing::ResetHeapFaults();
      if (as_read) MemFree(block);
      if (result == InStepResult::kWritten) {
        EXPECT_EQ(seen.written, want) << n;
      } else if (result == InStepResult::kMarkupFailed) {
        ++markup_failures;
        EXPECT_EQ(seen.last_answer, -1) << n;
      } else if (seen.last_answer == 99) {
        // The part buffer, before either side ran.
        EXPECT_EQ(result, as_read ? InStepResult::kNotAsRead : InStepResult::kLineEndsFailed) << n;
      } else {
        ++refused_by_the_scan;
        EXPECT_EQ(result, InStepResult::kNotAsRead) << n;
        EXPECT_EQ(seen.last_answer, -1) << n;
      }
      ClearMarkupTables();
      EXPECT_EQ(testing::LiveBlocks(), live) << n;
      if (!injected) break;
    }
    EXPECT_GT(markup_failures, 100);  // both table builds
    // As read, the clean copy's allocations are refused, not failed.
    EXPECT_EQ(refused_by_the_scan > 0, as_read);
  }
}

}  // namespace
}  // namespace kelvane
