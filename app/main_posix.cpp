// The command-line program on POSIX systems: kelvane FILE... converts each
// file, in order, into a .txt file beside it, and "-" converts standard input
// onto standard output. Each failure is one line on stderr; the exit status is
// 0 when every file converted, 1 when any failed and 2 for a usage error, which
// converts nothing. The options only print (--help, --version) or end the
// options (--): none changes how a file converts, and the program reads no
// setting or environment variable.

#include <cstdio>
#include <cstring>

#include "app/convert_file.h"
#include "app/standard_streams.h"

namespace {

constexpr char kUsage[] =
    "usage: kelvane FILE...\n"
    "       kelvane --help | --version\n";

constexpr char kShortHelp[] =
    "Converts each HTML file to Shift-JIS text beside it (page.html gives page.txt);\n"
    "\"-\" converts standard input to standard output. kelvane --help tells more.\n";

constexpr char kHelpText[] =
    "Converts each HTML file to Shift-JIS (code page 932) text with CRLF line ends,\n"
    "written beside it with the extension replaced by .txt: page.html gives page.txt,\n"
    "and an existing file of that name is replaced. A FILE must end in .htm, .html,\n"
    ".xht or .xhtml (any case). The encoding (UTF-8, UTF-16, Shift-JIS, EUC-JP or\n"
    "ISO-2022-JP) is recognised from the bytes alone. A character that Shift-JIS\n"
    "lacks takes a near form where there is one (\"(C)\" for the copyright sign, \"e\"\n"
    "for e-acute); one without (an emoji, a heart, Hangul) fails the whole file.\n"
    "\n"
    "  -          read the HTML from standard input (to its end) and write the text\n"
    "             to standard output; it may stand among files, once\n"
    "  --         end of the options: every later word is a file (-- -x.html)\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Each file that fails gives one line on standard error, \"kelvane: \", a Japanese\n"
    "message and the path (\"-\" for standard input), writes nothing, and the next\n"
    "file follows. Exit status: 0 when every file converted, 1 when any failed, and\n"
    "2 for a usage error (no file, an unknown option, \"-\" given twice), which\n"
    "converts nothing. kelvane(1) lists the messages and the conversion rules.\n";

enum class Action { kConvert, kHelp, kVersion };

// Prints problem and word (when not null) and the usage on stderr; returns 2.
int UsageError(const char* problem, const char* word) {
  if (problem != nullptr) std::fprintf(stderr, "kelvane: %s%s\n", problem, word);
  std::fputs(kUsage, stderr);
  std::fputs(kShortHelp, stderr);
  return 2;
}

// A word before "--" that starts with '-' is an option; "-" alone names
// standard input.
bool IsOption(const char* word) {
  return word[0] == '-' && word[1] != '\0';
}

bool IsStandardInput(const char* word) {
  return std::strcmp(word, "-") == 0;
}

// Checks every word before anything is converted. Returns 0 with *action set,
// or the usage error's status. The first of --help and --version wins.
int ReadOptions(int argc, char** argv, Action* action) {
  *action = Action::kConvert;
  bool options_ended = false;
  int files = 0;
  int standard_inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (!options_ended && std::strcmp(word, "--") == 0) {
      options_ended = true;
    } else if (!options_ended && IsOption(word)) {
      Action asked = std::strcmp(word, "--help") == 0      ? Action::kHelp
                     : std::strcmp(word, "--version") == 0 ? Action::kVersion
                                                           : Action::kConvert;
      if (asked == Action::kConvert) return UsageError("unknown option: ", word);
      if (*action == Action::kConvert) *action = asked;
    } else {
      ++files;
      // A second "-" could only find the first one's end of input.
      if (IsStandardInput(word) && ++standard_inputs > 1) {
        return UsageError("standard input (-) given more than once", "");
      }
    }
  }
  if (*action == Action::kConvert && files == 0) return UsageError(nullptr, nullptr);
  return 0;
}

// Writes text on stdout; 0, or 1 when it could not be written.
int Print(const char* text) {
  std::fputs(text, stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

int ConvertAll(int argc, char** argv) {
  int status = 0;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (!options_ended && std::strcmp(word, "--") == 0) {
      options_ended = true;
      continue;
    }
    // Only --help and --version are left, and both stop before converting.
    if (!options_ended && IsOption(word)) continue;
    int converted = IsStandardInput(word)
                        ? kelvane::ConvertStreamWith(kelvane::StandardStreamsPlatform(), word)
                        : kelvane::ConvertFile(word);
    if (!converted) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Action action = Action::kConvert;
  if (int error = ReadOptions(argc, argv, &action)) return error;
  if (action == Action::kHelp) {
    std::fputs(kUsage, stdout);
    return Print(kHelpText);
  }
  if (action == Action::kVersion) return Print("kelvane " KELVANE_VERSION "\n");
  return ConvertAll(argc, argv);
}
