// The conversion driver against a fake platform and fake stages: which stage
// runs with which arguments, in what order, which message and path each
// failure shows, and that every path out releases every block.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert_file.h"
#include "app/messages.h"
#include "common/heap.h"
#include "tests/app/fake_stages.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::RecordCall;
using testing::Stages;

struct Warning {
  std::string message;
  std::string path;  // "(null)" for a null path
};

// What the fake operating system does and what it saw.
struct FakeSystem {
  ReadResult read_result = ReadResult::kOk;
  std::string file = "<html>";  // the bytes a successful read delivers
  int write_result = 1;
  int same_file = 0;  // what the identity check answers
  int warning_result = 1;
  bool cut = false;     // the file shrinks under the block the read delivers
  std::string written;  // the data of the last write
  std::vector<Warning> warnings;
};

FakeSystem& System() {
  static FakeSystem system;
  return system;
}

ReadResult FakeRead(const char* path, char** block, uint32_t* size) {
  RecordCall(std::string("read ") + path);
  if (System().read_result != ReadResult::kOk) return System().read_result;
  const std::string& file = System().file;
  char* data = static_cast<char*>(MemAlloc(file.size() + 3));
  if (data == nullptr) return ReadResult::kOutOfMemory;
  std::memcpy(data, file.data(), file.size());
  std::memset(data + file.size(), 0, 3);
  if (System().cut) testing::TreatAsCutView(data);
  *block = data;
  *size = static_cast<uint32_t>(file.size());
  return ReadResult::kOk;
}

int FakeWrite(const char* path, const char* data, uint32_t size) {
  RecordCall(std::string("write ") + path);
  System().written.assign(data, size);
  return System().write_result;
}

int FakeSameFile(const char* path, const char* other) {
  RecordCall(std::string("same ") + path + " " + other);
  return System().same_file;
}

int FakeWarn(const char* message, const char* path) {
  RecordCall("warn");
  System().warnings.push_back({message, path != nullptr ? path : "(null)"});
  return System().warning_result;
}

constexpr Platform kFakePlatform = {FakeRead, FakeWrite, FakeSameFile, FakeWarn, nullptr, nullptr};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = testing::LiveBlocks();
    Reset();
  }
  void TearDown() override { EXPECT_EQ(Live(), 0) << "a block was not released"; }

  // Fresh fakes for the next case of a table.
  void Reset() {
    Stages() = testing::FakeStages();
    Stages().baseline = baseline_;
    System() = FakeSystem();
    testing::TreatAsCutView(nullptr);
  }
  long Live() const { return testing::LiveBlocks() - baseline_; }

  std::vector<std::string> Calls() const { return Stages().calls; }

  long baseline_ = 0;
};

TEST_F(DriverTest, SuccessRunsEveryStageInOrderAndWritesTheFinalText) {
  EXPECT_EQ(ConvertFileWith(&kFakePlatform, "dir/page.html"), 1);
  std::vector<std::string> want = {"read dir/page.html",      "DetectEncoding 5 40",
                                   "DecodeUtf8 0x200",        "HtmlToText",
                                   "NormalizeLineEnds 0x300", "same dir/page.html dir/page.txt",
                                   "write dir/page.txt"};
  EXPECT_EQ(Calls(), want);
  EXPECT_EQ(System().written, "final text\r\n");
  EXPECT_TRUE(System().warnings.empty());
}

// The output path is one block; besides it, each stage must find only its own
// input alive: the input of the stage before was released when it returned.
TEST_F(DriverTest, AtMostTwoTextBlocksAreAliveAtAnyStage) {
  ASSERT_EQ(ConvertFileWith(&kFakePlatform, "page.htm"), 1);
  std::vector<long> want = {1, 2, 2, 2, 2, 2, 2};  // read .. write, as in the test above
  EXPECT_EQ(Stages().live_on_entry, want);
}

TEST_F(DriverTest, WritesTheWholeFinalTextWhateverItsBytes) {
  Stages().final_text = std::string("\x82\xA0\r\n\x81\x40\tx\r\n", 9);
  ASSERT_EQ(ConvertFileWith(&kFakePlatform, "page.htm"), 1);
  EXPECT_EQ(System().written, Stages().final_text);
}

struct DecoderCase {
  const char* name;
  int detected;
  const char* stage;  // the stage call expected, or null when none may run
  // What the read delivers.
  std::string file = "<html>\r\n";
};

const DecoderCase kDecoderCases[] = {
    {"Utf16LeDecoderWithLfMode", 1, "DecodeUtf16Le 0x200"},
    {"Utf16BeDecoderWithLfMode", 2, "DecodeUtf16Be 0x200"},
    {"Utf8DecoderWithLfMode", 3, "DecodeUtf8 0x200"},
    {"ShiftJisOnlyNormalisedReturningFive", 5, "NormalizeLineEnds 0x205"},
    {"ShiftJisWithALoneCrNormalised", 5, "NormalizeLineEnds 0x205", "<p>a\rb"},
    {"ShiftJisWithoutCrGoesOnUndecoded", 5, "HtmlToText", "<p>a\nb"},
    {"CrAfterANulGoesOnUndecoded", 5, "HtmlToText", std::string("<p>\0\r", 5)},
    {"CrBeforeANulNormalised", 5, "NormalizeLineEnds 0x205", std::string("<p>\r\0", 5)},
    // Past the first blocks of sixteen bytes.
    {"LateCrNormalised", 5, "NormalizeLineEnds 0x205", std::string(37, 'a') + "\r\n"},
    {"LateCrAfterANulGoesOnUndecoded", 5, "HtmlToText",
     std::string(20, 'a') + std::string(1, '\0') + std::string(16, 'b') + "\r"},
    {"EucJpDecoderWithLfMode", 6, "DecodeEucJp 0x200"},
    {"Iso2022JpDecoderWithLfMode", 7, "DecodeIso2022Jp 0x200"},
    {"UnassignedFourHasNoDecoder", 4, nullptr},
    {"ZeroHasNoDecoder", 0, nullptr},
    {"EightHasNoDecoder", 8, nullptr},
    {"MinusOneHasNoDecoder", -1, nullptr},
    {"HugeValueHasNoDecoder", 0x7FFFFFFF, nullptr},
};

TEST_F(DriverTest, DetectedEncodingSelectsTheDecoder) {
  for (const DecoderCase& c : kDecoderCases) {
    SCOPED_TRACE(c.name);
    Reset();
    Stages().detected = c.detected;
    System().file = c.file;
    int converted = ConvertFileWith(&kFakePlatform, "page.htm");
    std::vector<std::string> calls = Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1], "DetectEncoding 5 40");
    if (c.stage != nullptr) {
      EXPECT_EQ(converted, 1);
      EXPECT_EQ(calls[2], c.stage);
    } else {
      EXPECT_EQ(converted, 0);
      EXPECT_EQ(calls[2], "warn");
      ASSERT_EQ(System().warnings.size(), 1u);
      EXPECT_EQ(System().warnings[0].message, kConversionFailedMessage);
      EXPECT_EQ(System().warnings[0].path, "page.htm");
    }
    EXPECT_EQ(Live(), 0);
  }
}

struct NameCase {
  const char* name;
  const char* path;
  const char* output;  // the output path, or null when the name is refused
};

const NameCase kNameCases[] = {
    {"UpperCaseHtml", "index.HTML", "index.txt"},
    {"Xhtml", "doc.xhtml", "doc.txt"},
    {"AnythingAfterHtm", "notes.htmx", "notes.txt"},
    {"MixedCaseHtm", "page.Htm", "page.txt"},
    {"UpperCaseXht", "page.XHT", "page.txt"},
    {"OnlyTheLastExtensionReplaced", "a.b.htm", "a.b.txt"},
    {"DotInFolderAndFile", "site.v2/page.html", "site.v2/page.txt"},
    {"LastDotInFolderName", "site.htm/readme", "site.txt"},
    {"HiddenHtmlFile", "dir/.htm", "dir/.txt"},
    {"ShiftJisName", "\x83\x5C\x83\x74\x83\x67.htm", "\x83\x5C\x83\x74\x83\x67.txt"},
    {"ShortExtension", "page.ht", nullptr},
    {"TextExtension", "page.txt", nullptr},
    {"NoDotAtAll", "README", nullptr},
    {"EmptyPath", "", nullptr},
    {"HtmlNotLast", "a.htm.bak", nullptr},
    {"DotAtTheEnd", "page.", nullptr},
    {"XhTooShort", "page.xh", nullptr},
    {"HtmInFolderButNotLastDot", "site.htm/readme.md", nullptr},
    {"SpaceInsideExtension", "page.h tm", nullptr},
    {"FullWidthLettersAreNotAscii", "page.\x82\x88\x82\x94\x82\x8D", nullptr},
};

TEST_F(DriverTest, ExtensionTestAndOutputPath) {
  for (const NameCase& c : kNameCases) {
    SCOPED_TRACE(c.name);
    Reset();
    int converted = ConvertFileWith(&kFakePlatform, c.path);
    if (c.output != nullptr) {
      EXPECT_EQ(converted, 1);
      EXPECT_EQ(Calls().front(), std::string("read ") + c.path);
      EXPECT_EQ(Calls().back(), std::string("write ") + c.output);
    } else {
      EXPECT_EQ(converted, 0);
      EXPECT_EQ(Calls(), std::vector<std::string>{"warn"}) << "nothing may be read";
      ASSERT_EQ(System().warnings.size(), 1u);
      EXPECT_EQ(System().warnings[0].message, kNotHtmlMessage);
      EXPECT_EQ(System().warnings[0].path, c.path);
    }
  }
}

TEST_F(DriverTest, LongPathsKeepEveryByte) {
  std::string folder(5000, 'd');
  std::string path = folder + "/page.html";
  ASSERT_EQ(ConvertFileWith(&kFakePlatform, path.c_str()), 1);
  EXPECT_EQ(Calls().back(), "write " + folder + "/page.txt");
}

TEST_F(DriverTest, NullPathReturnsZeroSilently) {
  EXPECT_EQ(ConvertFileWith(&kFakePlatform, nullptr), 0);
  EXPECT_TRUE(Calls().empty());
}

struct FailureCase {
  const char* name;
  void (*arrange)();
  const char* message;
  const char* shown_path;
  const char* last_call;  // the call just before the warning
};

const FailureCase kFailureCases[] = {
    {"OpenFailureShowsInput", [] { System().read_result = ReadResult::kCannotOpen; },
     kCannotOpenMessage, "in/page.htm", "read in/page.htm"},
    {"BadSizeShowsInput", [] { System().read_result = ReadResult::kInvalidSize; },
     kInvalidSizeMessage, "in/page.htm", "read in/page.htm"},
    {"NoMemoryForBlockShowsInput", [] { System().read_result = ReadResult::kOutOfMemory; },
     kOutOfMemoryMessage, "in/page.htm", "read in/page.htm"},
    {"DecoderFailureShowsInput", [] { Stages().decode_fails = true; }, kConversionFailedMessage,
     "in/page.htm", "DecodeUtf8 0x200"},
    {"ShiftJisNormaliseFailureIsAConversionFailure",
     [] {
       Stages().detected = 5;
       Stages().decode_fails = true;
       System().file = "<p>\r\n";
     },
     kConversionFailedMessage, "in/page.htm", "NormalizeLineEnds 0x205"},
    {"HtmlFailureShowsInput", [] { Stages().html_fails = true; }, kHtmlToTextFailedMessage,
     "in/page.htm", "HtmlToText"},
    {"CrlfFailureIsAConversionFailure", [] { Stages().crlf_fails = true; },
     kConversionFailedMessage, "in/page.htm", "NormalizeLineEnds 0x300"},
    {"CreateFailureShowsOutput", [] { System().write_result = 0; }, kCreateFailedMessage,
     "in/page.txt", "write in/page.txt"},
    // A view of a file that shrank while it was converted: nothing is written.
    {"FileCutWhileDecodedShowsInput", [] { System().cut = true; }, kCannotOpenMessage,
     "in/page.htm", "DecodeUtf8 0x200"},
    {"FileCutUnderShiftJisShowsInput",
     [] {
       Stages().detected = 5;
       System().cut = true;
     },
     kCannotOpenMessage, "in/page.htm", "HtmlToText"},
    // A link from the output to the input: the page is never written over.
    {"OutputThatIsTheInputShowsOutput", [] { System().same_file = 1; }, kCreateFailedMessage,
     "in/page.txt", "same in/page.htm in/page.txt"},
};

TEST_F(DriverTest, EachFailureShowsItsMessageAndPath) {
  for (const FailureCase& c : kFailureCases) {
    SCOPED_TRACE(c.name);
    Reset();
    c.arrange();
    EXPECT_EQ(ConvertFileWith(&kFakePlatform, "in/page.htm"), 0);
    std::vector<std::string> calls = Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], c.last_call);
    EXPECT_EQ(calls.back(), "warn");
    ASSERT_EQ(System().warnings.size(), 1u);
    EXPECT_EQ(System().warnings[0].message, c.message);
    EXPECT_EQ(System().warnings[0].path, c.shown_path);
    EXPECT_EQ(Live(), 0);
  }
}

// Every allocation the driver or a stage makes is failed in turn: each must end
// in one warning, no output and no block left behind.
TEST_F(DriverTest, EveryFailedAllocationIsReportedWithoutLeaks) {
  for (long n = 1;; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    Reset();
    testing::ScopedHeapFaults faults;
    testing::FailNthAllocation(n);
    int converted = ConvertFileWith(&kFakePlatform, "page.htm");
    if (!testing::InjectedFailureHappened()) {
      EXPECT_EQ(converted, 1);
      EXPECT_GT(n, 5) << "the driver and the stages allocate at least five blocks";
      break;
    }
    EXPECT_EQ(converted, 0);
    ASSERT_EQ(System().warnings.size(), 1u);
    const std::string& message = System().warnings[0].message;
    EXPECT_TRUE(message == kOutOfMemoryMessage || message == kConversionFailedMessage ||
                message == kHtmlToTextFailedMessage)
        << message;
    EXPECT_EQ(System().warnings[0].path, "page.htm");
    std::vector<std::string> calls = Calls();
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "write page.txt"), calls.end());
    EXPECT_EQ(Live(), 0);
  }
}

TEST_F(DriverTest, ShowConversionErrorPassesMessageAndPath) {
  System().warning_result = 7;
  EXPECT_EQ(ShowConversionErrorWith(&kFakePlatform, kCannotOpenMessage, "x.htm"), 7);
  EXPECT_EQ(ShowConversionErrorWith(&kFakePlatform, nullptr, "y.htm"), 7);
  EXPECT_EQ(ShowConversionErrorWith(&kFakePlatform, kCreateFailedMessage, nullptr), 7);
  ASSERT_EQ(System().warnings.size(), 3u);
  EXPECT_EQ(System().warnings[0].message, kCannotOpenMessage);
  EXPECT_EQ(System().warnings[0].path, "x.htm");
  EXPECT_EQ(System().warnings[1].message, kUnknownErrorMessage) << "null means unknown error";
  EXPECT_EQ(System().warnings[1].path, "y.htm");
  EXPECT_EQ(System().warnings[2].path, "(null)");
}

}  // namespace

// The entry points without a table use the platform's own; here, the fake.
const Platform* DefaultPlatform() {
  return &kFakePlatform;
}

namespace {

TEST_F(DriverTest, ConvertFileAndShowConversionErrorUseTheDefaultPlatform) {
  EXPECT_EQ(ConvertFile("page.htm"), 1);
  EXPECT_EQ(Calls().back(), "write page.txt");
  EXPECT_EQ(ConvertFile(nullptr), 0);
  ShowConversionError(nullptr, nullptr);
  ASSERT_EQ(System().warnings.size(), 1u);
  EXPECT_EQ(System().warnings[0].message, kUnknownErrorMessage);
  EXPECT_EQ(System().warnings[0].path, "(null)");
}

}  // namespace
}  // namespace kelvane
