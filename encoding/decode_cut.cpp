#include "encoding/decode_cut.h"

#include <cstring>

#include "common/vector_scan.h"
#include "encoding/encoding_id.h"

namespace kelvane {
namespace {

// How far past the middle a cut is looked for, and how far back from it the
// escape that sets ISO-2022-JP's character set; pages have line ends and
// escapes far more often.
constexpr uint32_t kSearchBytes = uint32_t{1} << 18;
constexpr uint32_t kEscapeSearchBytes = uint32_t{1} << 16;

constexpr unsigned char kEsc = 0x1B;

bool IsPrintableAscii(unsigned c) {
  return c >= 0x20 && c <= 0x7E;
}

// Whether ISO-2022-JP text stands in the one-byte set at `at`: the last escape
// before it selects ASCII or JIS X 0201 Roman, or there is none since the
// start. False when no escape lies within the search, as the set is unknown.
bool InOneByteSet(const unsigned char* text, uint32_t at) {
  const uint32_t stop = at > kEscapeSearchBytes ? at - kEscapeSearchBytes : 0;
  for (uint32_t i = at; i > stop; --i) {
    const unsigned char* p = text + i - 1;
    if (*p == kEsc) return p[1] == '(' && (p[2] == 'B' || p[2] == 'J');
  }
  return stop == 0;
}

DecodeCut FindByteCut(const unsigned char* text, uint32_t size, bool stateful) {
  const uint32_t limit = size - size / 2 > kSearchBytes ? size / 2 + kSearchBytes : size;
  uint32_t from = size / 2;
  while (from < limit) {
    const void* lf = std::memchr(text + from, '\n', limit - from);
    if (lf == nullptr) break;
    const uint32_t at = static_cast<uint32_t>(static_cast<const unsigned char*>(lf) - text) + 1;
    from = at;
    if (size - at < 2) break;
    if (!IsPrintableAscii(text[at]) || !IsPrintableAscii(text[at + 1])) continue;
    if (stateful && !InOneByteSet(text, at)) continue;
    return DecodeCut{at, 1, static_cast<char>(text[at])};
  }
  return DecodeCut{0, 1, 0};
}

DecodeCut FindUnitCut(const unsigned char* text, uint32_t size, bool big_endian) {
  const uint32_t units = size / 2;
  const uint32_t limit =
      units - units / 2 > kSearchBytes / 2 ? units / 2 + kSearchBytes / 2 : units;
  auto unit_at = [&](uint32_t i) -> unsigned {
    const unsigned char* p = text + 2 * i;
    return big_endian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
  };
  for (uint32_t i = units / 2; i + 2 < limit; ++i) {
    if (unit_at(i) != '\n') continue;
    if (!IsPrintableAscii(unit_at(i + 1)) || !IsPrintableAscii(unit_at(i + 2))) continue;
    return DecodeCut{2 * (i + 1), 2, static_cast<char>(unit_at(i + 1))};
  }
  return DecodeCut{0, 2, 0};
}

}  // namespace

DecodeCut FindDecodeCut(const char* text, uint32_t size, int encoding) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  switch (encoding) {
    case kUtf8:
    case kEucJp:
      return FindByteCut(bytes, size, false);
    case kIso2022Jp:
      return FindByteCut(bytes, size, true);
    case kUtf16Le:
      return FindUnitCut(bytes, size, false);
    case kUtf16Be:
      return FindUnitCut(bytes, size, true);
    default:
      return DecodeCut{0, 1, 0};
  }
}

bool HasTerminatorBefore(const char* text, uint32_t bytes, uint32_t unit) {
  uint32_t i = 0;
  if (kVectorScans && unit == 1) {
    for (; bytes - i >= kBlockBytes; i += kBlockBytes) {
      if (Marks(MatchBelow(LoadBlock(text + i), 1)) != 0) return true;
    }
  }
  // Zero lanes, eight bytes at a time: the test is exact for "any zero lane".
  const uint64_t ones = unit == 2 ? 0x0001000100010001ULL : 0x0101010101010101ULL;
  const uint64_t highs = ones << (8 * unit - 1);
  for (; bytes - i >= 8; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if (((word - ones) & ~word & highs) != 0) return true;
  }
  for (; i + unit <= bytes; i += unit) {
    if (text[i] == 0 && (unit == 1 || text[i + 1] == 0)) return true;
  }
  return false;
}

}  // namespace kelvane
