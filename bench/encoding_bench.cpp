// Throughput of detection and of every decoding stage on a few MB of
// Japanese HTML-like text, the same document in each encoding. The document
// is generated from a fixed seed: markup and Japanese sentences (hiragana,
// katakana, kanji, punctuation, some half-width katakana) with CR LF line
// ends. MB/s counts input bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/heap.h"
#include "encoding/cp932_table.h"
#include "encoding/detect_encoding.h"
#include "encoding/encoding_id.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/line_ends.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"

namespace kelvane {
namespace {

constexpr std::size_t kDocumentBytes = 4 << 20;  // Shift-JIS size

// One character of the document: a Shift-JIS code (one or two bytes).
using Codes = std::vector<uint16_t>;

uint16_t KutenToShiftJis(unsigned ku, unsigned ten) {
  const unsigned lead = ku <= 62 ? 0x81 + (ku - 1) / 2 : 0xE0 + (ku - 63) / 2;
  const unsigned trail = ku % 2 == 1 ? (ten <= 63 ? 0x3F + ten : 0x40 + ten) : 0x9E + ten;
  return static_cast<uint16_t>(lead << 8 | trail);
}

void AddAscii(Codes* codes, const char* s) {
  for (; *s != 0; ++s) codes->push_back(static_cast<unsigned char>(*s));
}

// A Japanese sentence: mostly hiragana, some katakana and level-1 kanji,
// commas, a full stop, now and then half-width katakana.
void AddSentence(Codes* codes, std::mt19937& rng) {
  const unsigned length = 10 + rng() % 40;
  for (unsigned i = 0; i < length; ++i) {
    const unsigned pick = rng() % 100;
    if (pick < 45) {
      codes->push_back(KutenToShiftJis(4, 1 + rng() % 83));  // hiragana
    } else if (pick < 57) {
      codes->push_back(KutenToShiftJis(5, 1 + rng() % 86));  // katakana
    } else if (pick < 92) {
      codes->push_back(KutenToShiftJis(16 + rng() % 31, 1 + rng() % 94));  // kanji
    } else if (pick < 96) {
      codes->push_back(0x8141);  // ideographic comma
    } else {
      codes->push_back(static_cast<uint16_t>(0xB1 + rng() % 40));  // half-width katakana
    }
  }
  codes->push_back(0x8142);  // ideographic full stop
}

const Codes& Document() {
  static const Codes codes = [] {
    std::mt19937 rng(932);
    Codes c;
    AddAscii(&c, "<html>\r\n<head><title>");
    AddSentence(&c, rng);
    AddAscii(&c, "</title></head>\r\n<body>\r\n");
    std::size_t bytes = 0;
    while (bytes < kDocumentBytes) {
      const std::size_t before = c.size();
      AddAscii(&c, rng() % 4 == 0 ? "<p class=\"note\">" : "<p>");
      AddSentence(&c, rng);
      if (rng() % 3 == 0) {
        AddAscii(&c, "<a href=\"https://example.com/docs/page-");
        AddAscii(&c, std::to_string(rng() % 1000).c_str());
        AddAscii(&c, ".html\">");
        AddSentence(&c, rng);
        AddAscii(&c, "</a>");
      }
      AddAscii(&c, "</p>\r\n");
      for (std::size_t i = before; i < c.size(); ++i) bytes += c[i] > 0xFF ? 2 : 1;
    }
    AddAscii(&c, "</body>\r\n</html>\r\n");
    return c;
  }();
  return codes;
}

// Texts end with two NUL bytes (or zero units), as the driver hands them.
std::string Terminated(std::string s) {
  s.append(2, '\0');
  return s;
}

std::string ShiftJisText() {
  std::string s;
  for (uint16_t code : Document()) {
    if (code > 0xFF) s.push_back(static_cast<char>(code >> 8));
    s.push_back(static_cast<char>(code & 0xFF));
  }
  return s;
}

// Row and cell of a two-byte Shift-JIS code, 1-94 each.
void ShiftJisToKuten(uint16_t code, unsigned* ku, unsigned* ten) {
  const unsigned lead = code >> 8;
  const unsigned trail = code & 0xFF;
  *ku = lead <= 0x9F ? (lead - 0x81) * 2 + 1 : (lead - 0xE0) * 2 + 63;
  if (trail >= 0x9F) {
    *ku += 1;
    *ten = trail - 0x9E;
  } else {
    *ten = trail - (trail >= 0x80 ? 0x40 : 0x3F);
  }
}

std::string EucJpText() {
  std::string s;
  for (uint16_t code : Document()) {
    if (code > 0xFF) {
      unsigned ku, ten;
      ShiftJisToKuten(code, &ku, &ten);
      s.push_back(static_cast<char>(0xA0 + ku));
      s.push_back(static_cast<char>(0xA0 + ten));
    } else {
      if (code >= 0xA1) s.push_back('\x8E');
      s.push_back(static_cast<char>(code));
    }
  }
  return s;
}

std::string Iso2022JpText() {
  std::string s;
  enum { kAscii, kKanji, kKana } set = kAscii;
  for (uint16_t code : Document()) {
    const auto want = code > 0xFF ? kKanji : code >= 0xA1 ? kKana : kAscii;
    if (want != set) {
      s += want == kKanji ? "\x1B$B" : want == kKana ? "\x1B(I" : "\x1B(B";
      set = want;
    }
    if (set == kKanji) {
      unsigned ku, ten;
      ShiftJisToKuten(code, &ku, &ten);
      s.push_back(static_cast<char>(0x20 + ku));
      s.push_back(static_cast<char>(0x20 + ten));
    } else {
      s.push_back(static_cast<char>(set == kKana ? code - 0x80 : code));
    }
  }
  if (set != kAscii) s += "\x1B(B";
  return s;
}

std::vector<uint16_t> Utf16Units(bool big_endian) {
  std::vector<uint16_t> units = {0xFEFF};
  for (uint16_t code : Document()) units.push_back(Cp932ToUnicode(code));
  if (big_endian) {
    for (uint16_t& u : units) u = static_cast<uint16_t>(u << 8 | u >> 8);
  }
  units.push_back(0);
  units.push_back(0);
  return units;
}

std::string Utf8Text() {
  std::string s = "\xEF\xBB\xBF";
  for (uint16_t code : Document()) {
    const unsigned u = Cp932ToUnicode(code);
    if (u < 0x80) {
      s.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      s.push_back(static_cast<char>(0xC0 | u >> 6));
      s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xE0 | u >> 12));
      s.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return s;
}

// Runs a byte stage over text (terminated), counting its bytes.
template <typename Out>
void RunByteStage(benchmark::State& state, int (*stage)(Out**, const char*, int),
                  const std::string& text, int mode) {
  for (auto _ : state) {
    Out* out = nullptr;
    if (stage(&out, text.data(), mode) == -1) {
      state.SkipWithError("the stage failed");
      return;
    }
    benchmark::DoNotOptimize(out);
    MemFree(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (text.size() - 2)));
}

template <typename Out>
void RunUnitStage(benchmark::State& state, int (*stage)(Out**, const uint16_t*, int),
                  const std::vector<uint16_t>& units, int mode) {
  for (auto _ : state) {
    Out* out = nullptr;
    if (stage(&out, units.data(), mode) == -1) {
      state.SkipWithError("the stage failed");
      return;
    }
    benchmark::DoNotOptimize(out);
    MemFree(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * (units.size() - 2)));
}

// Detection usually decides within the first Japanese characters; the whole
// text is scanned only when nothing decides, as in markup-only ASCII.
void BM_DetectEncoding_AsciiFullScan(benchmark::State& state) {
  std::string text;
  while (text.size() < kDocumentBytes)
    text += "<p class=\"note\"><a href=\"/docs/page.html\">a</a>\r\n";
  text = Terminated(text);
  for (auto _ : state) {
    int id = DetectEncoding(text.data(), kShiftJis, 40);
    benchmark::DoNotOptimize(id);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (text.size() - 2)));
}
BENCHMARK(BM_DetectEncoding_AsciiFullScan);

// Detection on the Japanese document in each encoding, as the driver calls it.
// It stops at the first deciding bytes, so the MB/s is that of the whole
// document: what detection costs per megabyte of a real page.
void RunDetection(benchmark::State& state, const char* text, std::size_t bytes, int want) {
  for (auto _ : state) {
    int id = DetectEncoding(text, kShiftJis, 40);
    if (id != want) {
      state.SkipWithError("detected another encoding");
      return;
    }
    benchmark::DoNotOptimize(id);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_DetectEncoding_ShiftJisPage(benchmark::State& state) {
  static const std::string text = Terminated(ShiftJisText());
  RunDetection(state, text.data(), text.size() - 2, kShiftJis);
}
BENCHMARK(BM_DetectEncoding_ShiftJisPage);

void BM_DetectEncoding_EucJpPage(benchmark::State& state) {
  static const std::string text = Terminated(EucJpText());
  RunDetection(state, text.data(), text.size() - 2, kEucJp);
}
BENCHMARK(BM_DetectEncoding_EucJpPage);

void BM_DetectEncoding_Iso2022JpPage(benchmark::State& state) {
  static const std::string text = Terminated(Iso2022JpText());
  RunDetection(state, text.data(), text.size() - 2, kIso2022Jp);
}
BENCHMARK(BM_DetectEncoding_Iso2022JpPage);

void BM_DetectEncoding_Utf8Page(benchmark::State& state) {
  // Without its byte order mark, so the scan has to decide.
  static const std::string text = Terminated(Utf8Text().substr(3));
  RunDetection(state, text.data(), text.size() - 2, kUtf8);
}
BENCHMARK(BM_DetectEncoding_Utf8Page);

void BM_NormalizeLineEnds_ShiftJisToLf(benchmark::State& state) {
  static const std::string text = Terminated(ShiftJisText());
  RunByteStage(state, &NormalizeLineEnds, text, 0x205);  // as the driver runs it on Shift-JIS input
}
BENCHMARK(BM_NormalizeLineEnds_ShiftJisToLf);

void BM_NormalizeLineEnds_LfToCrLf(benchmark::State& state) {
  static const std::string text = [] {
    char* lf = nullptr;
    std::string sjis = Terminated(ShiftJisText());
    NormalizeLineEnds(&lf, sjis.data(), kLineEndLf);
    std::string s = Terminated(lf);
    MemFree(lf);
    return s;
  }();
  RunByteStage(state, &NormalizeLineEnds, text, kLineEndCrLf);
}
BENCHMARK(BM_NormalizeLineEnds_LfToCrLf);

void BM_DecodeUtf16Le(benchmark::State& state) {
  static const std::vector<uint16_t> units = Utf16Units(false);
  RunUnitStage(state, &DecodeUtf16Le, units, kLineEndLf);
}
BENCHMARK(BM_DecodeUtf16Le);

void BM_SwapUtf16Bytes(benchmark::State& state) {
  static const std::vector<uint16_t> units = Utf16Units(true);
  RunUnitStage(state, &SwapUtf16Bytes, units, kLineEndLf);
}
BENCHMARK(BM_SwapUtf16Bytes);

void BM_DecodeUtf16Be(benchmark::State& state) {
  static const std::vector<uint16_t> units = Utf16Units(true);
  RunUnitStage(state, &DecodeUtf16Be, units, kLineEndLf);
}
BENCHMARK(BM_DecodeUtf16Be);

void BM_Utf8ToUtf16(benchmark::State& state) {
  static const std::string text = Terminated(Utf8Text());
  RunByteStage(state, &Utf8ToUtf16, text, kLineEndLf);
}
BENCHMARK(BM_Utf8ToUtf16);

void BM_DecodeUtf8(benchmark::State& state) {
  static const std::string text = Terminated(Utf8Text());
  RunByteStage(state, &DecodeUtf8, text, kLineEndLf);
}
BENCHMARK(BM_DecodeUtf8);

void BM_DecodeEucJp(benchmark::State& state) {
  static const std::string text = Terminated(EucJpText());
  RunByteStage(state, &DecodeEucJp, text, kLineEndLf);
}
BENCHMARK(BM_DecodeEucJp);

void BM_DecodeIso2022Jp(benchmark::State& state) {
  static const std::string text = Terminated(Iso2022JpText());
  RunByteStage(state, &DecodeIso2022Jp, text, kLineEndLf);
}
BENCHMARK(BM_DecodeIso2022Jp);

}  // namespace
}  // namespace kelvane
