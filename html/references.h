// Character references in the text runs of an HtmlToText scan.
#pragma once

#include "html/text_scan.h"

namespace kelvane {

// Handles the "&" at amp and returns where the run goes on: after the ";" of
// an accepted reference (which may lie past the run), else after the "&".
const Byte* ConvertReference(Scan* scan, const Byte* amp);

}  // namespace kelvane
