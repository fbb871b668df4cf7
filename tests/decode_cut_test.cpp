// Where a text is cut for decoding in two parts, and the terminator test the
// front part runs. That the parts then decode to the whole text is tested
// with the decoders, in tests/app/decode_in_parts_test.cpp.
#include "encoding/decode_cut.h"

#include <gtest/gtest.h>

#include <string>

#include "encoding/encoding_id.h"

namespace kelvane {
namespace {

// Bytes as a block: followed by three NULs.
std::string Block(const std::string& bytes) {
  return bytes + std::string(3, '\0');
}

TEST(FindDecodeCut, NoCutWhereNoDecoderCouldStart) {
  const std::string lines = "<p>a</p>\n<p>b</p>\n<p>c</p>\n<p>d</p>\n";
  struct Row {
    const char* name;
    int encoding;
    std::string bytes;
  };
  const Row rows[] = {
      {"no line end behind the middle", kUtf8, lines + std::string(40, 'x')},
      {"a line end ends the text", kEucJp, std::string(40, 'x') + "\n"},
      {"Shift-JIS is not decoded", kShiftJis, lines},
      // JIS X 0208 selected since the last escape: a part would start in the
      // wrong set.
      {"two-byte set selected", kIso2022Jp, "\x1B$B" + std::string(20, '!') + lines},
      {"katakana set selected", kIso2022Jp, "\x1B(I" + std::string(20, '!') + lines},
      // The bytes 0A 00 straddle two units here: no LF, no cut at an odd
      // offset.
      {"bytes of two units are no line end", kUtf16Le,
       std::string(24, 'x') + std::string("A\x0A\x00<\x00p", 6) + std::string(20, 'x')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string block = Block(row.bytes);
    EXPECT_EQ(FindDecodeCut(block.data(), static_cast<uint32_t>(row.bytes.size()), row.encoding).at,
              0u);
  }
}

TEST(HasTerminatorBefore, FindsNulsAndZeroUnitsAtEveryPlace) {
  for (uint32_t bytes = 1; bytes <= 24; ++bytes) {
    for (uint32_t at = 0; at < 24; ++at) {
      std::string text(bytes, 'a');
      if (at < bytes) text[at] = '\0';
      EXPECT_EQ(HasTerminatorBefore(text.data(), bytes, 1), at < bytes) << bytes << " " << at;
      // A zero unit only counts at an even offset, with both of its bytes.
      std::string units(bytes & ~1u, 'a');
      if (at + 1 < units.size()) units[at] = units[at + 1] = '\0';
      const bool zero_unit = at + 1 < units.size() && at % 2 == 0;
      EXPECT_EQ(HasTerminatorBefore(units.data(), static_cast<uint32_t>(units.size()), 2),
                zero_unit)
          << bytes << " " << at;
    }
  }
}

}  // namespace
}  // namespace kelvane
