#pragma once

#include "async/MainExecutor.h"

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace oxel {

// One pending action on the main executor: each `schedule` replaces the action and restarts
// the delay, so a burst of calls runs the last action once, `delay` after the last call
// (the half-second save). Main thread only; destroying it drops a pending action.
class Debounce {
public:
    explicit Debounce(std::chrono::nanoseconds delay) : delay_(delay) {}
    ~Debounce() { cancel(); }
    Debounce(const Debounce&) = delete;
    Debounce& operator=(const Debounce&) = delete;

    void schedule(std::function<void()> action);
    void cancel();
    // Runs a pending action now.
    void flush();
    bool pending() const { return timer_.has_value(); }

private:
    std::chrono::nanoseconds delay_;
    std::function<void()> action_;
    std::optional<TimerId> timer_;
};

} // namespace oxel
