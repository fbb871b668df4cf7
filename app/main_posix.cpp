// The command-line program on POSIX systems: kelvane FILE... converts each
// file, in order, into a .txt file beside it. Each failure is one line on
// stderr; the exit status is 0 when every file converted, 1 when any failed and
// 2 when no file was named. It reads no option, setting or environment
// variable: every argument is a file name.

#include <cstdio>

#include "app/convert_file.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(
        "usage: kelvane FILE...\n"
        "Converts each HTML file to Shift-JIS text with CRLF line ends, written beside it\n"
        "with the extension replaced by .txt.\n",
        stderr);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    if (!kelvane::ConvertFile(argv[i])) status = 1;
  }
  return status;
}
