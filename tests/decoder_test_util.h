// Helpers shared by the decoder tests: inputs placed exactly at the end of a
// heap block behind the same NUL bytes the driver appends (so AddressSanitizer
// sees any read past them), results copied out and released, leaks counted,
// and the allocation-failure walk.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/heap.h"
#include "tests/support/test_heap.h"

namespace kelvane::testing {

// Bytes from hex text such as "41 0D 0A".
inline std::string Hex(const char* text) {
  std::string out;
  const char* p = text;
  while (*p != 0) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return out;
}

// The UTF-8 bytes of one unit of the Basic Multilingual Plane.
inline std::string Utf8Of(uint16_t u) {
  std::string out;
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | u >> 6));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | u >> 12));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return out;
}

// Hex text of bytes, for readable failure messages.
inline std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

// A copy of bytes followed by exactly `nuls` zero bytes, with nothing behind.
class ExactBlock {
 public:
  ExactBlock(const std::string& bytes, std::size_t nuls) : size_(bytes.size() + nuls) {
    data_ = std::make_unique<char[]>(size_);
    std::memcpy(data_.get(), bytes.data(), bytes.size());
    std::memset(data_.get() + bytes.size(), 0, nuls);
  }
  const char* get() const { return data_.get(); }

 private:
  std::size_t size_;
  std::unique_ptr<char[]> data_;
};

// Bytes as the driver hands UTF-16 text: units followed by at least three NUL
// bytes, rounded up to whole units (so an odd size still meets a zero unit).
class UnitBlock {
 public:
  explicit UnitBlock(const std::string& bytes) : units_((bytes.size() + 3 + 1) / 2, 0) {
    std::memcpy(units_.data(), bytes.data(), bytes.size());
  }
  const uint16_t* get() const { return units_.data(); }

 private:
  std::vector<uint16_t> units_;
};

struct Decoded {
  int result;
  std::string text;  // bytes of the output, or of its units little-endian
};

inline std::string UnitsToBytes(const uint16_t* u) {
  std::string out;
  for (; *u != 0; ++u) {
    out.push_back(static_cast<char>(*u & 0xFF));
    out.push_back(static_cast<char>(*u >> 8));
  }
  return out;
}

inline std::string TakeOutput(char* p) {
  std::string s(p);
  MemFree(p);
  return s;
}

inline std::string TakeOutput(uint16_t* p) {
  std::string s = UnitsToBytes(p);
  MemFree(p);
  return s;
}

// The line-end rule, byte by byte as plainly as it can be written: the slow
// reference for every stage. mode is compared whole; 0 copies everything.
inline std::string ReferenceLineEnds(const std::string& text, int mode) {
  if (mode == 0) return text;
  std::string line_end;
  if (mode == 0x100) line_end = "\r";
  if (mode == 0x200) line_end = "\n";
  if (mode == 0x300) line_end = "\r\n";
  std::string out;
  bool after_cr = false;
  for (char c : text) {
    if (c == '\r') {
      out += line_end;
      after_cr = true;
    } else if (c == '\n') {
      if (!after_cr) out += line_end;
      after_cr = false;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Runs a stage, checks that a failure leaves no block behind, and releases the
// output. The stage gets its input from make_input().
template <typename Out, typename In, typename Input>
Decoded RunStage(int (*stage)(Out**, const In*, int), const Input& input, int mode) {
  const long live = LiveBlocks();
  Out* out = nullptr;
  int r = stage(&out, input.get(), mode);
  Decoded d{r, {}};
  if (r == -1) {
    EXPECT_EQ(LiveBlocks(), live) << "a failed stage left a block behind";
  } else {
    EXPECT_NE(out, nullptr);
    if (out != nullptr) d.text = TakeOutput(out);
    EXPECT_EQ(LiveBlocks(), live) << "a stage kept a block besides its result";
  }
  return d;
}

// Byte input behind the driver's two NULs.
template <typename Out>
Decoded DecodeBytes(int (*stage)(Out**, const char*, int), const std::string& bytes, int mode) {
  ExactBlock block(bytes, 2);
  return RunStage(stage, block, mode);
}

template <typename Out>
Decoded DecodeUnits(int (*stage)(Out**, const uint16_t*, int), const std::string& bytes, int mode) {
  UnitBlock block(bytes);
  return RunStage(stage, block, mode);
}

// One row of a table-driven test of a byte stage: the input, the mode (or
// flag word), the result wanted and, unless that is -1, the output wanted
// (for UTF-16 output, the units' bytes little-endian).
struct ByteCase {
  const char* name;
  std::string input;
  int mode;
  int want_result;
  std::string want;
};

// Names the row in test listings instead of dumping its bytes.
inline void PrintTo(const ByteCase& row, std::ostream* os) {
  *os << row.name;
}

inline std::string CaseName(const ::testing::TestParamInfo<ByteCase>& row) {
  return row.param.name;
}

template <typename Out>
void ExpectRow(int (*stage)(Out**, const char*, int), const ByteCase& c) {
  const Decoded got = DecodeBytes(stage, c.input, c.mode);
  EXPECT_EQ(got.result, c.want_result);
  if (c.want_result != -1) {
    EXPECT_EQ(ToHex(got.text), ToHex(c.want));
  }
}

// Fails the 1st, 2nd, ... allocation of the stage until a run sees no injected
// failure. A run whose allocation failed must give -1 with no block left
// behind (never a text with bytes missing); the run without a failure must give
// the full correct output.
template <typename Out, typename In, typename Input>
void WalkAllocationFailures(int (*stage)(Out**, const In*, int), const Input& input, int mode,
                            const Decoded& want) {
  ScopedHeapFaults faults;
  for (long k = 1; k <= 100; ++k) {
    FailNthAllocation(k);
    Decoded got = RunStage(stage, input, mode);
    const bool injected = InjectedFailureHappened();
    ResetHeapFaults();
    if (injected) {
      EXPECT_EQ(got.result, -1) << "allocation " << k << " failed but the stage succeeded";
      continue;
    }
    EXPECT_EQ(got.result, want.result) << "allocation " << k;
    EXPECT_EQ(ToHex(got.text), ToHex(want.text)) << "allocation " << k;
    EXPECT_GT(k, 1) << "the stage allocated nothing";
    return;
  }
  ADD_FAILURE() << "more than 100 allocations";
}

// One character or escape sequence of a stateful decoder's input, with what
// it decodes to in mode 0.
struct Piece {
  std::string in;
  std::string out;
};

// Cuts the input made of pieces at every offset. A cut between pieces must
// decode to exactly what those pieces give (the line-end rule applied to their
// mode-0 output); a cut inside a piece leaves a broken character and must fail
// with nothing left behind.
template <typename Out>
void CheckEveryCut(int (*stage)(Out**, const char*, int), const std::vector<Piece>& pieces,
                   int mode, int success) {
  std::string input;
  std::string output;
  for (const Piece& piece : pieces) {
    for (std::size_t k = 1; k < piece.in.size(); ++k) {
      const std::string cut = input + piece.in.substr(0, k);
      Decoded got = DecodeBytes(stage, cut, mode);
      EXPECT_EQ(got.result, -1) << "cut inside a piece: " << ToHex(cut);
    }
    input += piece.in;
    output += piece.out;
    Decoded got = DecodeBytes(stage, input, mode);
    EXPECT_EQ(got.result, success) << "cut between pieces: " << ToHex(input);
    EXPECT_EQ(ToHex(got.text), ToHex(ReferenceLineEnds(output, mode))) << ToHex(input);
  }
}

}  // namespace kelvane::testing
