#pragma once

#include "app/platform.h"

namespace kelvane {

// Converts one HTML file into a .txt file beside it. 1 when the output was
// written; 0 on every failure, each shown through ShowConversionError.
int ConvertFile(const char* path);
int ConvertFileWith(const Platform* platform, const char* path);

// Shows a failure: message (Shift-JIS; null gives the unknown-error text) and
// path (may be null).
int ShowConversionError(const char* message, const char* path);
int ShowConversionErrorWith(const Platform* platform, const char* message, const char* path);

}  // namespace kelvane
