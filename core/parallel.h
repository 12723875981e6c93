// Rows of a job shared among a small, fixed pool of threads.
//
// The calling thread works too, and it alone reports progress, so the
// interface stays in one thread as the rest of the system expects.  The
// pool is made on first use and kept; its size is the preference "Threads"
// (0: one thread per core).
#pragma once

#include <functional>

// Threads a job may use (at least 1).
int parallel_threads();
// 0 = one per core.
void parallel_set_threads(int count);

// Calls work(first, last) for bands of rows covering y0..y1 (inclusive),
// each band on some thread; between bands the calling thread calls
// progress(rows done so far), and when that answers true no further band
// starts.  Returns false when it was stopped that way (the bands already
// running have finished).  With one thread the bands run in order on the
// calling thread.
bool parallel_rows(long y0, long y1, const std::function<void(long first, long last)>& work,
                   const std::function<bool(long done)>& progress);
