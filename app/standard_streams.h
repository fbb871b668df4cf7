// Standard input and output as a platform table, for the POSIX front end's
// "kelvane -": the whole of standard input is the one page, and its text goes
// to standard output.
#pragma once

#include "app/platform.h"

namespace kelvane {

// Reads ignore their path and take standard input to its end, with the limit
// and results of a file; writes ignore their path and put the text on standard
// output. Warnings go where DefaultPlatform() sends them.
const Platform* StandardStreamsPlatform();

}  // namespace kelvane
