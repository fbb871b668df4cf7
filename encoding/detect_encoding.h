#pragma once

namespace kelvane {

// Recognises the encoding of text, which must be followed by at least two NUL
// bytes. Returns an EncodingId, fallback when the scores do not decide, or -1
// for a null text. Reads at most two bytes ahead and never past the second
// terminating NUL.
int DetectEncoding(const char* text, int fallback, int limit);

}  // namespace kelvane
