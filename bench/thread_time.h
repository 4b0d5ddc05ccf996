#pragma once

// Processor time of the calling thread: what work costs the thread that does
// it, whatever other threads and processes do meanwhile on a busy machine,
// and without the time it spends waiting.

#include <time.h>

namespace quilla::bench {

inline double threadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace quilla::bench
