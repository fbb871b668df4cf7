// The last three steps for a large text, side by side: the markup scan on the
// caller's thread, and on another the line ends and the write, part by part as
// the scan's output becomes final. The output never exists whole, and the
// write is done soon after the scan.
#pragma once

#include <cstdint>

#include "app/platform.h"

namespace kelvane {

// From this size of decoded text up; below it a thread costs more than it
// saves.
constexpr uint32_t kWriteInStepFrom = uint32_t{1} << 20;
// And below this one: the text with CR LF line ends then stays within what
// one block can hold, so the steps fail where they would fail one after the
// other.
constexpr uint32_t kWriteInStepBelow = uint32_t{1} << 30;

// What became of converting and writing a text in step.
enum class InStepResult {
  kWritten,
  kMarkupFailed,    // HtmlToText failed; nothing was written
  kLineEndsFailed,  // out of memory for a part; nothing was written
  kWriteFailed,     // the text was made but could not be written
  kNotAsRead,       // a text as read was refused before any output
  kInputCut,        // the text as read was a view of a file that shrank; nothing was written
};

// Converts decoded (length bytes, Shift-JIS with LF line ends) to text,
// changes its line ends to CR LF and writes it to output_path through the
// platform's run_both and write_file_in_parts, which must not be null.
// Without as_read, decoded (a block from MemAlloc) is converted where it
// stands and released. With as_read, decoded is a Shift-JIS read block that
// stays the caller's and may still hold a CR or a NUL, and one that does is
// refused with kNotAsRead: the markup's clean copy looks for them, which
// spares a pass. So is one for which memory runs short before any output, so
// that the caller's usual way says what failed.
InStepResult WriteInStep(const Platform* platform, char* decoded, uint32_t length, bool as_read,
                         const char* output_path);

}  // namespace kelvane
