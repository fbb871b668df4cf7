// Runs the kelvane program as a child process for the end-to-end tests, with
// stdout and stderr captured.
//
// When the environment variable KELVANE_TEST_UNDER_VALGRIND is set and not
// empty, every run of kelvane goes through valgrind with a full leak check.
// An error makes the program exit with kValgrindErrorStatus, which no run of
// kelvane gives by itself, so a test that expects 0 or 1 fails; the runner
// also fails the current test and shows valgrind's report.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/app/posix_files.h"

namespace kelvane::testing {

inline constexpr int kValgrindErrorStatus = 99;

// A small page and its exact conversion: Shift-JIS with CRLF line ends.
inline constexpr char kPageUtf8[] =
    "<html><head><title>t</title></head><body>\n<h1>見出し</h1>\n"
    "<p>こんにちは、世界。</p><p>A&amp;B &#12354;</p></body></html>\n";
inline constexpr char kPageText[] =
    "\r\n\r\n\x8C\xA9\x8F\x6F\x82\xB5\r\n\r\n"
    "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\x81\x41\x90\xA2\x8A\x45\x81\x42\r\n"
    "\r\nA&B \x82\xA0\r\n";

struct Outcome {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string err;
  std::string out;
};

// Runs argv[0] with the rest as arguments, stdout and stderr captured in files
// inside scratch. With input, standard input is a pipe that carries it and
// then ends; otherwise it is the test's own.
Outcome Spawn(const std::vector<std::string>& argv, const TempFolder& scratch,
              const std::string* input = nullptr);

// The command line that runs kelvane on files: the program, under valgrind
// when asked, with valgrind's report going to a file in scratch.
std::vector<std::string> KelvaneCommand(const std::vector<std::string>& files,
                                        const TempFolder& scratch);

// Runs kelvane on files, checking valgrind's verdict when it is in use; input
// as for Spawn.
Outcome RunKelvane(const std::vector<std::string>& files, const TempFolder& scratch,
                   const std::string* input = nullptr);

// Runs kelvane as the user nobody: as root through setpriv, otherwise as the
// current user. False when that is not possible here.
bool RunKelvaneUnprivileged(const std::vector<std::string>& files, const TempFolder& scratch,
                            Outcome* run);

// Fails the current test with valgrind's report when the run found an error.
void ExpectNoValgrindError(const Outcome& run, const TempFolder& scratch);

}  // namespace kelvane::testing
