// The clean copy that HtmlToText scans: the text without its comments, its
// title, and where the body starts.
#include "html/clean_copy.h"

#include "common/vector_scan.h"
#include "html/byte_search.h"

namespace kelvane {
namespace {

// Whether the "!" at bang, which is not the first byte searched, opens a
// comment.
bool OpensComment(const Byte* bang, const Byte* end) {
  return end - bang >= 3 && bang[-1] == '<' && bang[1] == '-' && bang[2] == '-';
}

// First "<!--" at or after from; null when none. Found by its "!", which is
// far rarer than "<" in markup and never a Shift-JIS trail byte, so the search
// does not stop at every tag.
const Byte* FindCommentOpening(const Byte* from, const Byte* end) {
  for (const Byte* bang = FindByte(from + 1, end, '!'); bang != nullptr;
       bang = FindByte(bang + 1, end, '!')) {
    if (OpensComment(bang, end)) return bang - 1;
  }
  return nullptr;
}

// FindCommentOpening and the copy of what stands before the comment in one
// pass, sixteen bytes a step: copies the text from p into clean up to the
// first "<!--" whose "!" lies after p, and returns that "<" (null when there is
// none and all of it was copied). The buffer must have room for the whole
// text: blocks are stored whole, and the copy never runs ahead of the text.
const Byte* CopyUpToComment(TextBuffer* clean, const Byte* p, const Byte* end) {
  const Byte* const from = p;
  Byte* const to = reinterpret_cast<Byte*>(clean->data) + clean->length;
  const Byte* open = nullptr;
  for (; end - p >= kBlockBytes && open == nullptr; p += kBlockBytes) {
    const ByteBlock block = LoadBlock(p);
    StoreBlock(to + (p - from), block);
    // Marks may be several bits a byte; each clearing of the lowest one looks
    // at a byte again at worst.
    for (uint64_t bangs = Marks(MatchByte(block, '!')); bangs != 0; bangs &= bangs - 1) {
      const Byte* bang = p + FirstMarked(bangs);
      if (bang > from && OpensComment(bang, end)) {
        open = bang - 1;
        break;
      }
    }
  }
  for (; p < end && open == nullptr; ++p) {
    to[p - from] = *p;
    if (*p == '!' && p > from && OpensComment(p, end)) open = p - 1;
  }
  const Byte* const copied_to = open != nullptr ? open : end;
  clean->length += static_cast<uint32_t>(copied_to - from);
  return open;
}

}  // namespace

void CopyWithoutComments(TextBuffer* clean, const Byte* p, const Byte* end) {
  for (;;) {
    const Byte* open;
    if (kVectorScans && clean->capacity - clean->length >= static_cast<std::size_t>(end - p)) {
      open = CopyUpToComment(clean, p, end);
      if (open == nullptr) return;
    } else {
      open = FindCommentOpening(p, end);
      if (open == nullptr) {
        AppendSpan(clean, p, static_cast<std::size_t>(end - p));
        return;
      }
      AppendSpan(clean, p, static_cast<std::size_t>(open - p));
    }
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
