// The clean copy that HtmlToText scans, and the two places it looks up first.
#pragma once

#include "common/buffers.h"
#include "html/byte_search.h"

namespace kelvane {

// Appends the text from p to end without its comments ("<!--" to "-->"); an
// unterminated comment drops the rest. A failed growth is remembered by the
// buffer.
void CopyWithoutComments(TextBuffer* clean, const Byte* p, const Byte* end);

// The same for a text that may hold a CR or a NUL, which then needs the
// line-end rule or ends early: false as soon as one turns up anywhere in it,
// comments included, and the copy is then incomplete.
bool CopyWithoutCommentsUnlessCrOrNul(TextBuffer* clean, const Byte* p, const Byte* end);

// Removes the comments of the text from begin to end where it stands, as
// CopyWithoutComments leaves them out; returns the new end.
Byte* RemoveCommentsInPlace(Byte* begin, Byte* end);

// Appends the raw bytes between the first "<title" tag's ">" and the next
// "</title>", if there are such.
void CopyTitle(TextBuffer* title, const Byte* begin, const Byte* end);

// Where the scan starts: after the first "<body" tag, or at the beginning
// when there is none; null when that tag has no ">".
const Byte* BodyStart(const Byte* begin, const Byte* end);

}  // namespace kelvane
