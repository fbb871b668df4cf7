// Both parts are decoded into one block: the front part's text at its start,
// the back part's behind the front part's room; the back part's text is then
// moved down behind the character at the cut. Each part's text is about as
// long as its bytes at most (longer only with near forms such as "(TM)"), so
// the block is the size of the file, and a little more for the room that
// UTF-16 decoding wants ahead. The jobs allocate nothing: each writes into a
// buffer over its region, which cannot grow.
#include "app/decode_in_parts.h"

#include <cstddef>
#include <cstring>

#include "common/buffers.h"
#include "common/heap.h"
#include "encoding/decode_cut.h"
#include "encoding/encoding_id.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"

namespace kelvane {
namespace {

// Room beyond its bytes that each part's region gets.
constexpr uint32_t kPartSlack = uint32_t{256} << 10;

// One part of a text and where its decoding goes.
struct PartJob {
  const char* text;  // the part, in the read block
  uint32_t size;     // its bytes up to the terminator behind it
  int encoding;
  TextBuffer region;  // not owned, so it never grows
  bool check_end;     // whether to look for a terminator inside the part
  uint32_t unit;      // bytes of a terminator
  bool ends_early;    // a terminator was found inside the part
  uint32_t length;
  int status;
};

int DecodeInto(TextBuffer* region, const char* text, uint32_t size, int encoding,
               uint32_t* length) {
  // The back part starts at an even offset in UTF-16, so its units are as
  // aligned as the block.
  const uint16_t* units = reinterpret_cast<const uint16_t*>(text);
  switch (encoding) {
    case kUtf16Le:
      return DecodeUtf16LeInto(region, units, kLineEndLf, length);
    case kUtf16Be:
      return DecodeUtf16BeInto(region, units, kLineEndLf, length);
    case kUtf8:
      return DecodeUtf8Into(region, text, size, kLineEndLf, length);
    case kEucJp:
      return DecodeEucJpInto(region, text, size, kLineEndLf, length);
    case kIso2022Jp:
      return DecodeIso2022JpInto(region, text, size, kLineEndLf, length);
    default:
      return -1;
  }
}

PartJob MakePart(const char* text, uint32_t size, int encoding, char* region, uint32_t room,
                 bool check_end, uint32_t unit) {
  return PartJob{text, size, encoding, {region, room, 0, 0, 0}, check_end, unit, false, 0, -1};
}

void RunPartJob(void* argument) {
  PartJob* job = static_cast<PartJob*>(argument);
  if (job->check_end) job->ends_early = HasTerminatorBefore(job->text, job->size, job->unit);
  job->status = DecodeInto(&job->region, job->text, job->size, job->encoding, &job->length);
}

}  // namespace

int DecodeInParts(RunBoth run_both, char** result, char* block, uint32_t size, int encoding,
                  uint32_t* length, int* status) {
  if (size > UINT32_MAX - 2 * kPartSlack) return 0;
  const DecodeCut cut = FindDecodeCut(block, size, encoding);
  if (cut.at == 0) return 0;
  const uint32_t front_room = cut.at + kPartSlack;
  const uint32_t room = size + 2 * kPartSlack;
  char* out = static_cast<char*>(MemAlloc(room));
  if (out == nullptr) return 0;

  char saved[2];
  std::memcpy(saved, block + cut.at, cut.unit);
  std::memset(block + cut.at, 0, cut.unit);
  const uint32_t back_at = cut.at + cut.unit;
  PartJob front = MakePart(block, cut.at, encoding, out, front_room, true, cut.unit);
  PartJob back = MakePart(block + back_at, size - back_at, encoding, out + front_room,
                          room - front_room, false, cut.unit);
  run_both(RunPartJob, &front, &back);

  // A terminator in the front part ends the text there; the back part then
  // counts for nothing, its failure included.
  if (front.status == -1 || (!front.ends_early && back.status == -1)) {
    std::memcpy(block + cut.at, saved, cut.unit);
    MemFree(out);
    return 0;
  }
  *length = front.length;
  if (!front.ends_early) {
    out[front.length] = cut.byte;
    std::memmove(out + front.length + 1, out + front_room, std::size_t{back.length} + 1);
    *length = front.length + 1 + back.length;
  }
  *result = out;
  *status = front.status;
  return 1;
}

}  // namespace kelvane
