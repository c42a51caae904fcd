#pragma once

#include "ProcessSeconds.h"

#include <benchmark/benchmark.h>

#include <algorithm>

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
    static double now() { return processSeconds(); }

private:
    benchmark::State& state_;
    double start_;
};

} // namespace oxel::bench
