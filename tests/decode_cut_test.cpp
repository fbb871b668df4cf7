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

// The same ASCII text as UTF-16 units in either byte order.
std::string Utf16(const std::string& ascii, bool big_endian) {
  std::string units;
  for (char c : ascii) {
    units += big_endian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
  }
  return units;
}

TEST(FindDecodeCut, TakesTheFirstLineStartFitForACutFromTheMiddleOn) {
  // Line starts in the front half, and ones behind the middle that a decoder
  // may not start at (CR, a byte from 80 up, a lone character before a LF),
  // are passed over.
  const std::string front = "<p>a</p>\n<p>b</p>\n<p>c</p>\n";
  const std::string text = front + "xxxxxxxxxxxxxxxxxxxxxxxxx\n\r\n\xA4\xA2\nz\n<p>d</p>\n";
  const std::size_t want = text.find("<p>d");
  struct Row {
    int encoding;
    std::string bytes;
    uint32_t at;
    uint32_t unit;
  };
  const Row rows[] = {
      {kUtf8, text, static_cast<uint32_t>(want), 1},
      {kEucJp, text, static_cast<uint32_t>(want), 1},
      {kIso2022Jp, text, static_cast<uint32_t>(want), 1},
      {kUtf16Le, Utf16(text, false), static_cast<uint32_t>(2 * want), 2},
      {kUtf16Be, Utf16(text, true), static_cast<uint32_t>(2 * want), 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.encoding);
    const std::string block = Block(row.bytes);
    const DecodeCut cut =
        FindDecodeCut(block.data(), static_cast<uint32_t>(row.bytes.size()), row.encoding);
    EXPECT_EQ(cut.at, row.at);
    EXPECT_EQ(cut.unit, row.unit);
    EXPECT_EQ(cut.byte, '<');
  }
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

TEST(FindDecodeCut, IsoCutsOnlyWhereTheOneByteSetIsSelected) {
  const std::string lines = "<p>a</p>\n<p>b</p>\n<p>c</p>\n<p>d</p>\n";
  for (const char* escape : {"\x1B(B", "\x1B(J"}) {
    const std::string text = "\x1B$B!!!!" + std::string(escape) + std::string(20, 'x') + lines;
    const std::string block = Block(text);
    EXPECT_NE(FindDecodeCut(block.data(), static_cast<uint32_t>(text.size()), kIso2022Jp).at, 0u)
        << escape + 1;
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
