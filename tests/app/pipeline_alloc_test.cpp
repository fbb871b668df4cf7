// The whole pipeline, real stages and real files, with every allocation failed
// in turn: the driver, the POSIX read and write, every decoder, the converter
// and its name tables, and the CRLF pass.
//
// For each document the run without a fault gives the reference outcome and
// where each stage's allocations fall. Then the k-th allocation is failed for
// k = 1, 2, ... until a run needs no failure. Each run must either give the
// reference output byte for byte, or fail with the message of the stage whose
// allocation failed; and it must leave no block alive and no file behind. The
// name tables are cleared before every run, so their build is walked too.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert_file.h"
#include "app/messages.h"
#include "common/heap.h"
#include "encoding/detect_encoding.h"
#include "encoding/encoding_id.h"
#include "encoding/line_ends.h"
#include "html/html_to_text.h"
#include "html/markup_table_build.h"
#include "tests/app/posix_files.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

struct Warning {
  std::string message;
  std::string path;
};

// What the platform saw during one conversion: the warnings, and the
// allocation counts around the read and the write, counted from the start of
// the conversion (-1 when not called).
struct Observed {
  std::vector<Warning> warnings;
  long read_start = -1;
  long read_end = -1;
  long write_start = -1;
  long write_end = -1;
};

Observed g_observed;

ReadResult CountingRead(const char* path, char** block, uint32_t* size) {
  g_observed.read_start = testing::AllocationCount();
  ReadResult result = DefaultPlatform()->read_whole_file(path, block, size);
  g_observed.read_end = testing::AllocationCount();
  return result;
}

int CountingWrite(const char* path, const char* data, uint32_t size) {
  g_observed.write_start = testing::AllocationCount();
  int written = DefaultPlatform()->write_whole_file(path, data, size);
  g_observed.write_end = testing::AllocationCount();
  return written;
}

int RealIsSameFile(const char* path, const char* other) {
  return DefaultPlatform()->is_same_file(path, other);
}

int CapturingWarn(const char* message, const char* path) {
  g_observed.warnings.push_back({message, path != nullptr ? path : "(null)"});
  return 1;
}

// The real files, with the warnings caught instead of printed.
constexpr Platform kRecordingPlatform = {CountingRead,  CountingWrite, RealIsSameFile,
                                         CapturingWarn, nullptr,       nullptr};

// How many allocations each text stage makes on a document, measured by
// running the stages directly: -1 for a stage that is not reached.
struct StageAllocations {
  long decode = -1;
  long html = -1;
  long crlf = -1;
};

StageAllocations MeasureStages(const std::string& path) {
  StageAllocations counts;
  char* block = nullptr;
  uint32_t size = 0;
  if (DefaultPlatform()->read_whole_file(path.c_str(), &block, &size) != ReadResult::kOk) {
    return counts;
  }
  const int encoding = DetectEncoding(block, kShiftJis, 40);
  char* decoded = block;
  // Shift-JIS without a CR goes on to HtmlToText undecoded.
  const bool as_read = encoding == kShiftJis && std::memchr(block, '\r', size) == nullptr;
  if (as_read) {
    counts.decode = 0;
  } else {
    long before = testing::AllocationCount();
    int decoded_ok = DecodeToShiftJis(&decoded, block, encoding);
    counts.decode = testing::AllocationCount() - before;
    MemFree(block);
    if (decoded_ok == -1) return counts;
  }

  long before = testing::AllocationCount();

  ClearMarkupTables();  // as at the start of every run below
  // A decoded text is converted in its own block, a text as read from a copy.
  char* text = as_read ? HtmlToText(decoded, nullptr)
                       : HtmlToTextInBlock(decoded, static_cast<uint32_t>(std::strlen(decoded)),
                                           nullptr, nullptr);
  counts.html = testing::AllocationCount() - before;
  if (as_read) MemFree(decoded);
  if (text == nullptr) return counts;

  before = testing::AllocationCount();
  char* final_text = nullptr;
  NormalizeLineEnds(&final_text, text, kLineEndCrLf);
  counts.crlf = testing::AllocationCount() - before;
  MemFree(text);
  MemFree(final_text);
  return counts;
}

// The message a failure of the k-th allocation must give, found from where the
// reference run's allocations fell; null when k falls nowhere it should.
struct Expected {
  const char* message;
  bool shows_output;  // the output path is shown instead of the input
};

Expected ExpectedFailure(long k, const Observed& reference, const StageAllocations& stages) {
  // Before the read the driver allocates only the output path.
  if (k <= reference.read_end) return {kOutOfMemoryMessage, false};
  long end = reference.read_end;
  const std::pair<long, const char*> kStages[] = {{stages.decode, kConversionFailedMessage},
                                                  {stages.html, kHtmlToTextFailedMessage},
                                                  {stages.crlf, kConversionFailedMessage}};
  for (const auto& [count, message] : kStages) {
    if (count < 0) break;
    end += count;
    if (k <= end) return {message, false};
  }
  if (reference.write_start >= 0 && k > reference.write_start && k <= reference.write_end) {
    return {kCreateFailedMessage, true};
  }
  return {nullptr, false};
}

struct Document {
  const char* name;
  std::string bytes;
  bool converts;  // without a fault
};

std::string Sample(const char* name) {
  return ReadFile(std::string(KELVANE_SAMPLES_DIR) + "/" + name);
}

std::vector<Document> Documents() {
  std::vector<Document> docs;
  // One page in every encoding: title, comments, script, style, headings, a
  // table, preformatted text, an image's alternative text, named and numeric
  // references.
  const char* kSamples[] = {"page-utf8.html",        "page-utf8-bom.html", "page-utf16le.html",
                            "page-utf16le-bom.html", "page-utf16be.html",  "page-utf16be-bom.html",
                            "page-shift_jis.html",   "page-euc-jp.html",   "page-iso-2022-jp.html"};
  for (const char* name : kSamples) docs.push_back({name, Sample(name), true});

  // Big enough that every stage's buffer doubles several times.
  std::string body = Sample("page-utf8.html");
  std::string large = "<html><head><title>big</title></head><body>";
  while (large.size() < 40000) large += body.substr(body.find("<body>") + 6);
  docs.push_back({"LargeUtf8PageGrowsEveryBuffer", large, true});

  docs.push_back({"ShiftJisReferencesOfEveryKind",
                  "<title>\x83^\x83"
                  "C\x83g\x83\x8B</title><body><p>&amp;&lt;&gt;&quot;&nbsp;&copy;&hearts;"
                  "&#12354;&#x3042;&#X3044;&#65;&#0;&#1114112;&unknown;&amp &#x;</p>"
                  "<table><tr><th>a</th><td>b</td></tr></table><pre>  x\n  y</pre>"
                  "<img alt=\"\x89\xE6\x91\x9C\"><img alt='q'><br><hr></body>",
                  true});
  docs.push_back({"EucJpHalfWidthKatakanaAndKanji",
                  "<body><p>\x8E\xB1\x8E\xB2 \xB4\xC1\xBB\xFA</p><br>&#x30A2;</body>", true});
  docs.push_back({"Iso2022JpEverySet",
                  "<body><p>\x1B$B$\"$$\x1B(B a \x1B(I12\x1B(B \x1B$@$&\x1B(J~\x1B(B</p></body>",
                  true});
  docs.push_back({"Utf16LeOddSizeWithoutMark", std::string("<\0p\0>\0A\0B\0\n", 11), true});

  // Failing without any fault: the failure may only come earlier.
  docs.push_back({"BrokenUtf8", "\xEF\xBB\xBF<body><p>\xC3\x28</p>", false});
  docs.push_back({"BodyTagNeverClosed", "<html><body", false});
  docs.push_back({"OnlyNulBytes", std::string(6, '\0'), false});
  return docs;
}

struct Outcome {
  int converted = 0;
  Observed observed;
  std::string output;  // the output file, or "<missing>"
  std::vector<std::string> files;
};

Outcome Convert(const TempFolder& folder) {
  ClearMarkupTables();
  g_observed = Observed();
  Outcome outcome;
  const long start = testing::AllocationCount();
  outcome.converted = ConvertFileWith(&kRecordingPlatform, (folder / "page.html").c_str());
  outcome.observed = g_observed;
  for (long* count : {&outcome.observed.read_start, &outcome.observed.read_end,
                      &outcome.observed.write_start, &outcome.observed.write_end}) {
    if (*count >= 0) *count -= start;
  }
  outcome.output = ReadFile(folder / "page.txt");
  outcome.files = ListFolder(folder.path());
  ClearMarkupTables();
  return outcome;
}

TEST(PipelineAllocationTest, EveryFailedAllocationGivesTheRightMessageOrTheFullOutput) {
  ClearMarkupTables();
  const long live_at_start = testing::LiveBlocks();
  long failures_covered = 0;
  std::vector<Document> docs = Documents();
  for (const Document& doc : docs) {
    SCOPED_TRACE(doc.name);
    ASSERT_FALSE(doc.bytes.empty() || doc.bytes == "<missing>") << "no document";
    TempFolder folder;
    const std::string input = folder / "page.html";
    const std::string output = folder / "page.txt";
    ASSERT_TRUE(WriteFile(input, doc.bytes));

    const StageAllocations stages = MeasureStages(input);
    const Outcome reference = Convert(folder);
    ASSERT_EQ(testing::LiveBlocks(), live_at_start);
    ASSERT_EQ(reference.converted, doc.converts ? 1 : 0)
        << (reference.observed.warnings.empty() ? "" : reference.observed.warnings[0].message);
    if (reference.converted == 1) {
      ASSERT_TRUE(reference.observed.warnings.empty());
      ASSERT_EQ(reference.files, (std::vector<std::string>{"page.html", "page.txt"}));
      // The driver allocates the output path, then reads, runs the three
      // stages, and writes: the counts must meet end to end.
      ASSERT_EQ(reference.observed.read_end + stages.decode + stages.html + stages.crlf,
                reference.observed.write_start);
      ASSERT_EQ(std::remove(output.c_str()), 0);
    } else {
      ASSERT_EQ(reference.observed.warnings.size(), 1u);
      ASSERT_EQ(reference.files, std::vector<std::string>{"page.html"});
    }

    long k = 1;
    for (;; ++k) {
      SCOPED_TRACE("allocation " + std::to_string(k));
      Outcome run;
      bool failed = false;
      {
        testing::ScopedHeapFaults faults;
        testing::FailNthAllocation(k);
        run = Convert(folder);
        failed = testing::InjectedFailureHappened();
      }
      ASSERT_EQ(testing::LiveBlocks(), live_at_start) << "a block was not released";
      if (!failed) {
        // Past the last allocation: the run is the reference run again.
        EXPECT_EQ(run.converted, reference.converted);
        EXPECT_EQ(run.output, reference.output);
        std::remove(output.c_str());
        break;
      }
      ++failures_covered;
      if (run.converted == 1) {
        // A failure the pipeline could absorb: the text must be whole.
        EXPECT_EQ(run.output, reference.output);
        EXPECT_TRUE(run.observed.warnings.empty());
        ASSERT_EQ(std::remove(output.c_str()), 0);
        continue;
      }
      Expected want = ExpectedFailure(k, reference.observed, stages);
      ASSERT_NE(want.message, nullptr) << "no allocation was expected here";
      ASSERT_EQ(run.observed.warnings.size(), 1u);
      EXPECT_EQ(run.observed.warnings[0].message, want.message);
      EXPECT_EQ(run.observed.warnings[0].path, want.shows_output ? output : input);
      EXPECT_EQ(run.files, std::vector<std::string>{"page.html"}) << "no output, no temporary file";
    }
    std::printf("[   INFO   ] %s: %ld allocations, each failed in turn\n", doc.name, k - 1);
  }
  std::printf("[   INFO   ] %ld failed allocations over %zu documents\n", failures_covered,
              docs.size());
  RecordProperty("failed_allocations", static_cast<int>(failures_covered));
  EXPECT_GT(failures_covered, 1000) << "the name tables alone make more allocations than that";
}

}  // namespace
}  // namespace kelvane
