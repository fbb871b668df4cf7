// Two ways to run run_both's jobs in the tests: one after the other, and side
// by side on two threads.
#pragma once

#include <thread>

namespace kelvane::testing {

inline void RunInOrder(void (*job)(void*), void* first, void* second) {
  job(first);
  job(second);
}

inline void RunOnTwoThreads(void (*job)(void*), void* first, void* second) {
  std::thread thread(job, second);
  job(first);
  thread.join();
}

}  // namespace kelvane::testing
