// The vector path of every byte stage against the scalar one, the reference:
// random texts built from the tokens the stages stop at, in long and short
// runs so that stops fall at every offset of a block and at its edges, and the
// bundled sample pages. Any difference in result or bytes fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/vector_scan.h"
#include "tests/support/paths_agree.h"

namespace kelvane {
namespace {

TEST(VectorPaths, TheBaselineOfThisMachineIsUsed) {
#if (defined(__x86_64__) || defined(__aarch64__)) && !defined(KELVANE_SCALAR)
  EXPECT_TRUE(kVectorScans);
#else
  GTEST_SKIP() << "no vector baseline here";
#endif
}

// Bytes and sequences that end a plain run somewhere, in every encoding,
// valid or not, and plain runs of every printable kind.
const char* const kTokens[] = {
    "a",
    "Hello world",
    " ",
    "\t",
    "\r",
    "\n",
    "\r\n",
    "<",
    ">",
    "&",
    ";",
    "<p>",
    "</p>",
    "<pre>",
    "</pre>",
    "<br>",
    "<td>",
    "</li>",
    "<img alt=\"x\">",
    "<!--",
    "-->",
    "!",
    "<!-",
    "<body>",
    "<title>",
    "</title>",
    "&amp;",
    "&#12354;",
    "&#x3042",
    "&nbsp",
    "\x82\xa0",
    "\x93\xfa",
    "\xa4\xa2",
    "\xc6\xfc",
    "\x8e\xb1",
    "\xa4\xf3\xa5\xf6\xcf\xd3\xa1\xfe\xa2\xa1\xd0\xa1",
    "\xa4\xf4",
    "\xcf\xd4",
    "$s%vOS\"~\"!P!",
    "$t",
    "\xe3\x81\x82",
    "\xe6\x97\xa5",
    "\xe3\x81\x82\xe6\x97\xa5\xe3\x80\x81\xef\xbd\xb1\xe2\x84\xa2\xe3\x82\xa2",
    "\xe0\x9f\xbf",
    "\xed\xa0\x80",
    "\xe2\x82",
    "\xc2\xa9",
    "\x1b$B",
    "\x1b(B",
    "\x1b(I",
    "$\"",
    "F|K\\",
    "\x80",
    "\xff",
    "\x7f",
    "\x01",
    "\xef\xbb\xbf",
    "0123456789abcdef",
    "=",
};

std::string RandomText(std::mt19937* rng) {
  std::uniform_int_distribution<std::size_t> token(0, std::size(kTokens) - 1);
  std::uniform_int_distribution<int> pieces(0, 12);
  std::uniform_int_distribution<int> repeat(1, 40);
  std::string text;
  for (int n = pieces(*rng); n > 0; --n) {
    const char* t = kTokens[token(*rng)];
    // Long runs of one token cross many blocks; single ones end them anywhere.
    for (int k = (*rng)() % 3 == 0 ? repeat(*rng) : 1; k > 0; --k) text += t;
  }
  return text;
}

void ExpectAgree(const std::string& text) {
  const std::string block = text + std::string(3, '\0');
  const std::string diff = paths::FirstDisagreement(block.c_str(), text.size());
  EXPECT_EQ(diff, "") << "on " << ::testing::PrintToString(text);
}

TEST(VectorPaths, AgreeWithTheScalarPathOnRandomTexts) {
  std::mt19937 rng(19);
  for (int i = 0; i < 3000 && !HasFailure(); ++i) ExpectAgree(RandomText(&rng));
}

TEST(VectorPaths, AgreeWithTheScalarPathOnTheSamplePages) {
  int read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KELVANE_SOURCE_DIR "/samples")) {
    if (entry.path().extension() != ".html") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    ExpectAgree(std::string(std::istreambuf_iterator<char>(in), {}));
    ++read;
  }
  EXPECT_GE(read, 9);
}

}  // namespace
}  // namespace kelvane
