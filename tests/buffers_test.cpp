#include "common/buffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/heap.h"
#include "tests/support/test_heap.h"

namespace kelvane {
namespace {

using testing::FailAllAllocations;
using testing::FailNthAllocation;
using testing::ScopedHeapFaults;

TEST(TextBuffer, StartsWith1024BytesOwned) {
  TextBuffer b;
  InitTextBuffer(&b);
  ASSERT_NE(b.data, nullptr);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(b.length, 0u);
  EXPECT_EQ(b.owned, 1u);
  ReleaseTextBuffer(&b);
}

TEST(WideBuffer, StartsWith1024UnitsOwned) {
  WideBuffer b;
  InitWideBuffer(&b);
  ASSERT_NE(b.data, nullptr);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(b.count, 0u);
  EXPECT_EQ(b.owned, 1u);
  b.data[1023] = 7;  // the block holds 1024 units (ASan would catch less)
  ReleaseWideBuffer(&b);
}

TEST(TextBuffer, PushFillsExactlyThenDoublesOnThe1025th) {
  TextBuffer b;
  InitTextBuffer(&b);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushByte(&b, i), 1);
  EXPECT_EQ(b.length, 1024u);
  EXPECT_EQ(b.capacity, 1024u);
  ASSERT_EQ(PushByte(&b, 0x1FF), 1);  // only the low 8 bits are stored
  EXPECT_EQ(b.capacity, 2048u);
  EXPECT_EQ(static_cast<unsigned char>(b.data[1024]), 0xFFu);
  EXPECT_EQ(static_cast<unsigned char>(b.data[1023]), 0xFFu);
  EXPECT_EQ(static_cast<unsigned char>(b.data[1]), 1u);
  ReleaseTextBuffer(&b);
}

TEST(WideBuffer, PushFillsExactlyThenDoubles) {
  WideBuffer b;
  InitWideBuffer(&b);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushUnit(&b, i), 1);
  EXPECT_EQ(b.capacity, 1024u);
  ASSERT_EQ(PushUnit(&b, 0x1ABCD), 1);
  EXPECT_EQ(b.capacity, 2048u);
  EXPECT_EQ(b.data[1024], 0xABCD);
  EXPECT_EQ(b.data[1023], 1023);
  ReleaseWideBuffer(&b);
}

struct AppendGrowthCase {
  const char* name;
  uint32_t start_length;
  int32_t n;
  uint32_t want_capacity;
};

class AppendGrowth : public ::testing::TestWithParam<AppendGrowthCase> {};

TEST_P(AppendGrowth, GrowsInOneStepToTheFirstDoublingAboveTheEnd) {
  const AppendGrowthCase& c = GetParam();
  TextBuffer b;
  InitTextBuffer(&b);
  std::string fill(c.start_length, 'x');
  ASSERT_EQ(AppendBytes(&b, fill.data(), static_cast<int32_t>(fill.size())), 1);
  std::string s(static_cast<std::size_t>(c.n), 'y');
  long before = testing::AllocationCount();
  ASSERT_EQ(AppendBytes(&b, s.data(), c.n), 1);
  long resizes = testing::AllocationCount() - before;
  EXPECT_EQ(b.capacity, c.want_capacity);
  EXPECT_EQ(resizes, c.want_capacity == 1024u ? 0 : 1);
  EXPECT_EQ(b.length, c.start_length + static_cast<uint32_t>(c.n));
  EXPECT_LT(b.length, b.capacity);  // room for the terminator is always left
  ReleaseTextBuffer(&b);
}

INSTANTIATE_TEST_SUITE_P(Cases, AppendGrowth,
                         ::testing::Values(AppendGrowthCase{"end_1023_fits", 1000, 23, 1024},
                                           AppendGrowthCase{"end_1024_doubles", 1000, 24, 2048},
                                           AppendGrowthCase{"5000_straight_to_8192", 0, 5000, 8192},
                                           AppendGrowthCase{"4096_needs_8192", 0, 4096, 8192},
                                           AppendGrowthCase{"4095_fits_4096", 0, 4095, 4096}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(TextBuffer, AppendNothingSucceedsEvenWhenFull) {
  TextBuffer b;
  InitTextBuffer(&b);
  for (int i = 0; i < 1024; ++i) PushByte(&b, 'a');
  EXPECT_EQ(AppendBytes(&b, "", -1), 1);
  EXPECT_EQ(AppendBytes(&b, "abc", 0), 1);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(b.length, 1024u);
  EXPECT_EQ(AppendBytes(&b, nullptr, 3), 0);
  EXPECT_EQ(b.length, 1024u);
  ReleaseTextBuffer(&b);
}

TEST(TextBuffer, AppendIsABoundedCopy) {
  TextBuffer b;
  InitTextBuffer(&b);
  PushByte(&b, 'z');
  ASSERT_EQ(AppendBytes(&b, "ab", 4), 1);
  ASSERT_EQ(b.length, 5u);
  EXPECT_EQ(std::memcmp(b.data, "zab\0\0", 5), 0);
  ASSERT_EQ(AppendBytes(&b, "cd", -1), 1);
  EXPECT_EQ(b.length, 7u);
  ReleaseTextBuffer(&b);
}

TEST(TextBuffer, FailedGrowthKeepsEverythingAndIsRemembered) {
  ScopedHeapFaults faults;
  TextBuffer b;
  InitTextBuffer(&b);
  for (int i = 0; i < 1024; ++i) PushByte(&b, 'a');
  char* block = b.data;
  FailNthAllocation(1);
  EXPECT_EQ(PushByte(&b, 'b'), 0);
  FailNthAllocation(1);
  EXPECT_EQ(AppendBytes(&b, "cd", 2), 0);
  EXPECT_EQ(b.data, block);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(b.length, 1024u);
  // Later appends work normally, but termination reports the lost bytes.
  EXPECT_EQ(PushByte(&b, 'e'), 1);
  EXPECT_EQ(b.data[1024], 'e');
  EXPECT_EQ(TerminateTextBuffer(&b), 0);
  EXPECT_EQ(b.data[1025], 0);
  ReleaseTextBuffer(&b);
}

TEST(WideBuffer, FailedGrowthKeepsEverythingAndIsRemembered) {
  ScopedHeapFaults faults;
  WideBuffer b;
  InitWideBuffer(&b);
  for (int i = 0; i < 1024; ++i) PushUnit(&b, 'a');
  FailNthAllocation(1);
  EXPECT_EQ(PushUnit(&b, 'b'), 0);
  EXPECT_EQ(b.count, 1024u);
  EXPECT_EQ(b.capacity, 1024u);
  EXPECT_EQ(TerminateWideBuffer(&b), 0);
  ReleaseWideBuffer(&b);
}

TEST(TextBuffer, TerminatingAnExactlyFullBufferGrowsOnce) {
  ScopedHeapFaults faults;
  TextBuffer b;
  InitTextBuffer(&b);
  for (int i = 0; i < 1024; ++i) PushByte(&b, 'a');
  ASSERT_EQ(TerminateTextBuffer(&b), 1);
  EXPECT_EQ(b.capacity, 2048u);
  EXPECT_EQ(b.length, 1024u);
  EXPECT_EQ(b.data[1024], 0);
  ReleaseTextBuffer(&b);

  InitTextBuffer(&b);
  for (int i = 0; i < 1024; ++i) PushByte(&b, 'a');
  FailNthAllocation(1);
  EXPECT_EQ(TerminateTextBuffer(&b), 0);  // no room and no growth: nothing written
  EXPECT_EQ(b.capacity, 1024u);
  ReleaseTextBuffer(&b);
}

TEST(Buffers, FirstAllocationFailureLeavesAnInertBuffer) {
  ScopedHeapFaults faults;
  FailAllAllocations();
  TextBuffer t;
  InitTextBuffer(&t);
  WideBuffer w;
  InitWideBuffer(&w);
  testing::ResetHeapFaults();
  EXPECT_EQ(t.data, nullptr);
  EXPECT_EQ(t.capacity, 0u);
  EXPECT_EQ(w.data, nullptr);
  EXPECT_EQ(w.capacity, 0u);
  // Every append and the termination fail, without looping or writing.
  EXPECT_EQ(PushByte(&t, 'a'), 0);
  EXPECT_EQ(AppendBytes(&t, "abc", 3), 0);
  EXPECT_EQ(ReserveTextBuffer(&t, 4), 0);
  EXPECT_EQ(TerminateTextBuffer(&t), 0);
  EXPECT_EQ(PushUnit(&w, 'a'), 0);
  EXPECT_EQ(TerminateWideBuffer(&w), 0);
  ReleaseTextBuffer(&t);
  ReleaseWideBuffer(&w);
}

TEST(Buffers, SizesBeyond32BitsFailInsteadOfWrapping) {
  TextBuffer b;
  InitTextBuffer(&b);
  PushByte(&b, 'a');
  // A 32-bit end that would wrap must be refused before any copy.
  b.length = 0xFFFFFFF0u;  // pretend: the block is never touched on failure
  uint32_t capacity = b.capacity;
  EXPECT_EQ(ReserveTextBuffer(&b, 0x20), 0);
  EXPECT_EQ(b.capacity, capacity);
  b.length = 1;
  ReleaseTextBuffer(&b);
}

TEST(Buffers, HandOverThenReleaseKeepsTheBlock) {
  long live = testing::LiveBlocks();
  TextBuffer b;
  InitTextBuffer(&b);
  AppendBytes(&b, "hi", -1);
  ASSERT_EQ(TerminateTextBuffer(&b), 1);
  char* text = HandOverTextBuffer(&b);
  EXPECT_EQ(b.owned, 0u);
  ReleaseTextBuffer(&b);  // releases nothing
  EXPECT_STREQ(text, "hi");
  EXPECT_EQ(testing::LiveBlocks(), live + 1);
  MemFree(text);

  WideBuffer w;
  InitWideBuffer(&w);
  ReleaseWideBuffer(&w);
  ReleaseWideBuffer(&w);  // a second give-up releases nothing more
  EXPECT_EQ(testing::LiveBlocks(), live);
}

}  // namespace
}  // namespace kelvane
