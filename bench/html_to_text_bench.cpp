// Throughput of HtmlToText on ordinary Japanese markup and on inputs whose
// reference and "alt=" searches would each run to the end of the text if
// nothing were remembered. Equal MB/s at 1 MB and 8 MB means linear time.
#include <benchmark/benchmark.h>

#include <string>

#include "common/heap.h"
#include "html/html_to_text.h"

namespace kelvane {
namespace {

// Repeats piece until the text holds at least n bytes, then adds tail.
std::string Repeat(const std::string& piece, std::size_t n, const std::string& tail) {
  std::string s;
  s.reserve(n + piece.size() + tail.size());
  while (s.size() < n) s += piece;
  return s + tail;
}

// A page of Shift-JIS prose in paragraphs, a list, a table, links and a few
// references, as a typical Japanese site has it.
std::string OrdinaryMarkup(std::size_t n) {
  const std::string kana = "\x82\xB1\x82\xEA\x82\xCD\x93\xFA\x96\x7B\x8C\xEA\x82\xCC";
  std::string para = "<p class=\"text\">";
  for (int i = 0; i < 6; ++i) para += kana + "\x81\x41" + kana + "\x81\x42";
  para += " <a href=\"https://example.org/page.html\">" + kana + "</a>&amp;" + kana +
          "&nbsp;(&#12354;)</p>\n";
  std::string block = para + para + "<ul>\n  <li>" + kana + "</li>\n  <li>" + kana +
                      "</li>\n</ul>\n"
                      "<table>\n<tr><td>" +
                      kana +
                      "</td><td>123</td></tr>\n</table>\n"
                      "<div><img src=\"a.png\" alt=\"" +
                      kana + "\"><br>\n</div>\n";
  return Repeat("<html><head><title>t</title></head><body>\n" + block, n, "</body></html>\n");
}

void Run(benchmark::State& state, const std::string& doc) {
  for (auto _ : state) {
    char* out = HtmlToText(doc.c_str(), nullptr);
    if (out == nullptr) {
      state.SkipWithError("conversion failed");
      return;
    }
    benchmark::DoNotOptimize(out);
    MemFree(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}

void BM_HtmlToText_OrdinaryMarkup(benchmark::State& state) {
  Run(state, OrdinaryMarkup(static_cast<std::size_t>(state.range(0))));
}

// Baselines for the far-search inputs below: as many tags or references per
// byte, each with its own near ">" or ";".
void BM_HtmlToText_DenseImagesWithAlt(benchmark::State& state) {
  Run(state, Repeat("<img alt=x>", static_cast<std::size_t>(state.range(0)), "<br>"));
}

void BM_HtmlToText_DenseReferences(benchmark::State& state) {
  Run(state, Repeat("&amp;&#1;", static_cast<std::size_t>(state.range(0)), "<br>"));
}

// Every "&" looks for a ";" and finds none.
void BM_HtmlToText_AmpersandsWithoutSemicolon(benchmark::State& state) {
  Run(state, Repeat("&", static_cast<std::size_t>(state.range(0)), "<br>"));
}

// Every "&" shares one ";" at the very end.
void BM_HtmlToText_AmpersandsBeforeOneFarSemicolon(benchmark::State& state) {
  Run(state, Repeat("&", static_cast<std::size_t>(state.range(0)), "<br>;<br>"));
}

// Every numeric reference's digits run to the one ";" at the end.
void BM_HtmlToText_DigitsToOneFarSemicolon(benchmark::State& state) {
  Run(state, Repeat("&#1", static_cast<std::size_t>(state.range(0)), ";<br>"));
}

// Every image looks for "alt=" and finds none.
void BM_HtmlToText_ImagesWithoutAlt(benchmark::State& state) {
  Run(state, Repeat("<img>", static_cast<std::size_t>(state.range(0)), "<br>"));
}

// Every image finds the one "alt=" at the end, beyond its own tag.
void BM_HtmlToText_ImagesBeforeOneFarAlt(benchmark::State& state) {
  Run(state, Repeat("<img>", static_cast<std::size_t>(state.range(0)), "alt=x>"));
}

#define KELVANE_SIZES Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_HtmlToText_OrdinaryMarkup)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_DenseImagesWithAlt)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_DenseReferences)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_AmpersandsWithoutSemicolon)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_AmpersandsBeforeOneFarSemicolon)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_DigitsToOneFarSemicolon)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_ImagesWithoutAlt)->KELVANE_SIZES;
BENCHMARK(BM_HtmlToText_ImagesBeforeOneFarAlt)->KELVANE_SIZES;

}  // namespace
}  // namespace kelvane
