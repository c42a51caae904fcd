#pragma once

#include <ctime>

namespace oxel::bench {

// Seconds of processor time the whole process has used so far.
inline double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace oxel::bench
