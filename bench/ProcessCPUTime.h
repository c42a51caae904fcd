#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

namespace oxel::bench {

// CPU time of the whole process (all threads), per iteration, reported as the counter
// "cpuMsPerIteration" when it goes out of scope: on a busy machine, this divided by the core count
// is a fairer figure than the wall time.
class ProcessCPUTime {
public:
    explicit ProcessCPUTime(benchmark::State& state) : state_(state), start_(now()) {}
    ~ProcessCPUTime()
    {
        state_.counters["cpuMsPerIteration"] =
            (now() - start_) * 1000.0 / double(std::max<benchmark::IterationCount>(1, state_.iterations()));
    }
    ProcessCPUTime(const ProcessCPUTime&) = delete;
    ProcessCPUTime& operator=(const ProcessCPUTime&) = delete;

    // Seconds of processor time the whole process has used so far.
    static double now()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }

private:
    benchmark::State& state_;
    double start_;
};

} // namespace oxel::bench
