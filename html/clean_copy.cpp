// The clean copy that HtmlToText scans: the text without its comments, its
// title, and where the body starts.
#include "html/clean_copy.h"

#include "html/byte_search.h"

namespace kelvane {
namespace {

// First "<!--" at or after from; null when none. Found by its "!", which is
// far rarer than "<" in markup and never a Shift-JIS trail byte, so the search
// does not stop at every tag.
const Byte* FindCommentOpening(const Byte* from, const Byte* end) {
  for (const Byte* bang = FindByte(from + 1, end, '!'); bang != nullptr;
       bang = FindByte(bang + 1, end, '!')) {
    if (end - bang < 3) return nullptr;
    if (bang[-1] == '<' && bang[1] == '-' && bang[2] == '-') return bang - 1;
  }
  return nullptr;
}

}  // namespace

void CopyWithoutComments(TextBuffer* clean, const Byte* p, const Byte* end) {
  for (;;) {
    const Byte* open = FindCommentOpening(p, end);
    if (open == nullptr) {
      AppendSpan(clean, p, static_cast<std::size_t>(end - p));
      return;
    }
    AppendSpan(clean, p, static_cast<std::size_t>(open - p));
    const Byte* close = FindBytes(open + 4, end, "-->");
    if (close == nullptr) return;
    p = close + 3;
  }
}

void CopyTitle(TextBuffer* title, const Byte* begin, const Byte* end) {
  const Byte* lt = FindTagOpening(begin, end, "title");
  if (lt == nullptr) return;
  const Byte* gt = FindByte(lt + 6, end, '>');
  if (gt == nullptr) return;
  const Byte* close = FindTagOpening(gt + 1, end, "/title>");
  if (close == nullptr) return;
  AppendSpan(title, gt + 1, static_cast<std::size_t>(close - gt - 1));
}

const Byte* BodyStart(const Byte* begin, const Byte* end) {
  const Byte* lt = FindTagOpening(begin, end, "body");
  if (lt == nullptr) return begin;
  const Byte* gt = FindByte(lt + 5, end, '>');
  return gt != nullptr ? gt + 1 : nullptr;
}

}  // namespace kelvane
