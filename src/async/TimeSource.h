#pragma once

#include <chrono>

namespace oxel {

// Where time comes from: the wall clock for dates and staleness, the steady clock for intervals.
// Injected wherever time matters, so tests can run on a virtual clock (`ManualLoop`).
class TimeSource {
public:
    using WallTime = std::chrono::system_clock::time_point;
    using SteadyTime = std::chrono::steady_clock::time_point;

    virtual ~TimeSource() = default;
    virtual WallTime now() const = 0;
    virtual SteadyTime steady() const = 0;

    // The real clocks.
    static const TimeSource& system();
};

} // namespace oxel
