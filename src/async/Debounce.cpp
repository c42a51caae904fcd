#include "async/Debounce.h"

namespace oxel {

void Debounce::schedule(std::function<void()> action)
{
    cancel();
    action_ = std::move(action);
    timer_ = mainExecutor().postAfter(delay_, [this] {
        timer_.reset();
        auto action = std::move(action_);
        action();
    });
}

void Debounce::cancel()
{
    if (timer_) mainExecutor().cancelTimer(*timer_);
    timer_.reset();
    action_ = nullptr;
}

void Debounce::flush()
{
    if (!timer_) return;
    auto action = std::move(action_);
    cancel();
    action();
}

} // namespace oxel
