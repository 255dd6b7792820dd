#pragma once
// Work spread over threads, with progress reported on the calling thread only (the
// progress window belongs to it).

#include <cstddef>
#include <functional>

namespace FastRows {

// Runs work(thread, item) for items 0..items-1 on `threads` threads (thread 0 being the
// calling thread), in chunks taken in turn; each item returns how many of the `rows` it
// scored. The calling thread calls stepIt (may be empty) between its own chunks and while
// it waits for the others, once each time the share of scored rows crosses a 1/steps
// mark, and makes the remaining calls at the end: exactly `steps` calls in all. The first
// failure of any thread is rethrown after every thread has stopped.
void run(int items, int rows, unsigned threads, std::size_t steps, const std::function<void()>& stepIt,
         const std::function<int(unsigned, int)>& work);

}  // namespace FastRows
