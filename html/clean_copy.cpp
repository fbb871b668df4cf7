// The clean copy that HtmlToText scans: the text without its comments, its
// title, and where the body starts.
#include "html/clean_copy.h"

#include <cstring>

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

// Whether [p, end) holds a CR or a NUL.
bool HoldsCrOrNul(const Byte* p, const Byte* end) {
  if constexpr (kVectorScans) {
    for (; end - p >= kBlockBytes; p += kBlockBytes) {
      const ByteBlock block = LoadBlock(p);
      if (Marks(MatchEither(MatchBelow(block, 1), MatchByte(block, '\r'))) != 0) return true;
    }
  }
  for (; p < end; ++p) {
    if (*p == 0 || *p == '\r') return true;
  }
  return false;
}

// What CopyUpToComment found.
struct CopyStop {
  const Byte* open;  // the "<" of the first comment after the start; null when none
  bool cr_or_nul;    // a CR or a NUL came first (looked for only when asked)
};

// FindCommentOpening and the copy of what stands before the comment in one
// pass, sixteen bytes a step: copies the text from p into clean up to the
// first "<!--" whose "!" lies after p. With find_cr_or_nul it stops with
// cr_or_nul set at a CR or a NUL before that. The buffer must have room for
// the whole text: blocks are stored whole, and the copy never runs ahead of
// the text.
CopyStop CopyUpToComment(TextBuffer* clean, const Byte* p, const Byte* end, bool find_cr_or_nul) {
  const Byte* const from = p;
  Byte* const to = reinterpret_cast<Byte*>(clean->data) + clean->length;
  CopyStop stop = {nullptr, false};
  for (; end - p >= kBlockBytes && stop.open == nullptr && !stop.cr_or_nul; p += kBlockBytes) {
    const ByteBlock block = LoadBlock(p);
    StoreBlock(to + (p - from), block);
    ByteBlock marked = MatchByte(block, '!');
    if (find_cr_or_nul) {
      marked = MatchEither(marked, MatchEither(MatchByte(block, '\r'), MatchBelow(block, 1)));
    }
    // Marks may be several bits a byte; each clearing of the lowest one looks
    // at a byte again at worst.
    for (uint64_t marks = Marks(marked); marks != 0; marks &= marks - 1) {
      const Byte* at = p + FirstMarked(marks);
      if (*at != '!') {
        stop.cr_or_nul = true;
        break;
      }
      if (at > from && OpensComment(at, end)) {
        stop.open = at - 1;
        break;
      }
    }
  }
  for (; p < end && stop.open == nullptr && !stop.cr_or_nul; ++p) {
    to[p - from] = *p;
    if (find_cr_or_nul && (*p == 0 || *p == '\r')) stop.cr_or_nul = true;
    if (*p == '!' && p > from && OpensComment(p, end)) stop.open = p - 1;
  }
  if (!stop.cr_or_nul) {
    clean->length += static_cast<uint32_t>((stop.open != nullptr ? stop.open : end) - from);
  }
  return stop;
}

// CopyWithoutComments, and with find_cr_or_nul false as soon as it meets a
// CR or a NUL anywhere, comments included.
bool CopyWithoutCommentsUnless(TextBuffer* clean, const Byte* p, const Byte* end,
                               bool find_cr_or_nul) {
  for (;;) {
    const Byte* open;
    if (kVectorScans && clean->capacity - clean->length >= static_cast<std::size_t>(end - p)) {
      const CopyStop stop = CopyUpToComment(clean, p, end, find_cr_or_nul);
      if (stop.cr_or_nul) return false;
      open = stop.open;
      if (open == nullptr) return true;
    } else {
      open = FindCommentOpening(p, end);
      const Byte* const copy_end = open != nullptr ? open : end;
      if (find_cr_or_nul && HoldsCrOrNul(p, copy_end)) return false;
      AppendSpan(clean, p, static_cast<std::size_t>(copy_end - p));
      if (open == nullptr) return true;
    }
    const Byte* close = FindBytes(open + 4, end, "-->");
    const Byte* const skipped_end = close != nullptr ? close + 3 : end;
    if (find_cr_or_nul && HoldsCrOrNul(open, skipped_end)) return false;
    if (close == nullptr) return true;
    p = skipped_end;
  }
}

}  // namespace

void CopyWithoutComments(TextBuffer* clean, const Byte* p, const Byte* end) {
  CopyWithoutCommentsUnless(clean, p, end, false);
}

bool CopyWithoutCommentsUnlessCrOrNul(TextBuffer* clean, const Byte* p, const Byte* end) {
  return CopyWithoutCommentsUnless(clean, p, end, true);
}

Byte* RemoveCommentsInPlace(Byte* begin, Byte* end) {
  Byte* open = const_cast<Byte*>(FindCommentOpening(begin, end));
  if (open == nullptr) return end;
  // What stands after each comment moves down; every write lands below the
  // bytes still to be searched.
  Byte* to = open;
  for (;;) {
    const Byte* close = FindBytes(open + 4, end, "-->");
    if (close == nullptr) return to;
    const Byte* from = close + 3;
    open = const_cast<Byte*>(FindCommentOpening(from, end));
    const Byte* kept_end = open != nullptr ? open : end;
    std::memmove(to, from, static_cast<std::size_t>(kept_end - from));
    to += kept_end - from;
    if (open == nullptr) return to;
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
