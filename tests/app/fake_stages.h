// Stand-ins for the core stages, linked into the driver tests in place of the
// real ones, so the driver is tested on its own: each records its call, checks
// how many heap blocks are alive when it is entered, and can be told to fail.
#pragma once

#include <string>
#include <vector>

namespace kelvane::testing {

struct FakeStages {
  int detected = 3;                           // what DetectEncoding answers
  bool decode_fails = false;                  // the decoding stage returns -1
  bool html_fails = false;                    // HtmlToText returns null
  bool crlf_fails = false;                    // NormalizeLineEnds(0x300) returns -1
  std::string final_text = "final text\r\n";  // what the CRLF pass produces
  // One entry per call, e.g. "DecodeUtf8 0x200", in order.
  std::vector<std::string> calls;
  // Live heap blocks seen on entry to each call, parallel to calls, counted
  // from baseline, so a leak in one test does not spill into the next.
  std::vector<long> live_on_entry;
  long baseline = 0;
};

// The state the fakes read and record into; reset by each test.
FakeStages& Stages();

// Adds entry to Stages().calls with the live block count; the fake platform of
// the driver tests records its calls here too, so one list shows the order.
void RecordCall(const std::string& entry);

}  // namespace kelvane::testing
