// Invariants that a comment argues and the code relies on, checked where they
// can break. The sanitizer and fuzz builds define KELVANE_CHECK_INVARIANTS, so
// the day an argument stops holding fails loudly there; the release build
// pays nothing.
#pragma once

#include <cstdlib>

namespace kelvane {

#ifdef KELVANE_CHECK_INVARIANTS
constexpr bool kCheckInvariants = true;
#else
constexpr bool kCheckInvariants = false;
#endif

// Aborts the process when a checked invariant does not hold.
inline void CheckInvariant(bool holds) {
  if (kCheckInvariants && !holds) std::abort();
}

}  // namespace kelvane
