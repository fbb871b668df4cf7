#include "html/text_scan.h"

#include <initializer_list>

namespace kelvane {

void UpdateGuard(Scan* scan) {
  const Byte* guard = scan->end;
  for (const NumberReader* reader : {&scan->decimal, &scan->hexadecimal}) {
    if (reader->lo.at < reader->hi.at && reader->lo.at < guard) guard = reader->lo.at;
  }
  scan->guard = guard;
}

// Out of line: it runs only when the output nears a reader's lower cursor.
[[gnu::noinline]] void MoveReadersOn(Scan* scan, const Byte* q) {
  for (NumberReader* reader : {&scan->decimal, &scan->hexadecimal}) {
    if (reader->lo.at >= reader->hi.at || reader->lo.at >= q) continue;
    AdvanceDigits(&reader->lo, q < reader->hi.at ? q : reader->hi.at, reader->base);
  }
  UpdateGuard(scan);
}

}  // namespace kelvane
