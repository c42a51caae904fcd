#include "async/AsyncGate.h"

#include "async/MainExecutor.h"

#include <algorithm>

namespace oxel {

AsyncGate::AsyncGate(int limit) : limit_(std::max(limit, 1))
{}

AsyncGate::Turn& AsyncGate::Turn::operator=(Turn&& other) noexcept
{
    if (this != &other) {
        release();
        gate_ = std::exchange(other.gate_, nullptr);
    }
    return *this;
}

void AsyncGate::Turn::release()
{
    if (auto* gate = std::exchange(gate_, nullptr)) gate->leave();
}

bool AsyncGate::EnterAwaiter::await_ready()
{
    if (gate_.holders_ >= gate_.limit_) return false;
    ++gate_.holders_;
    return true;
}

void AsyncGate::EnterAwaiter::await_suspend(std::coroutine_handle<> handle)
{
    waiter_ = std::make_shared<Waiter>(Waiter{handle});
    gate_.waiters_.push_back(waiter_);
}

AsyncGate::EnterAwaiter::~EnterAwaiter()
{
    if (!waiter_) return;
    waiter_->abandoned = true;
    // A task destroyed while it was given a turn but not yet resumed hands the turn on.
    if (waiter_->granted && !waiter_->handle) return;
    std::erase(gate_.waiters_, waiter_);
}

void AsyncGate::leave()
{
    // The turn passes to the first waiter directly, so a newcomer cannot overtake it.
    while (!waiters_.empty()) {
        auto next = waiters_.front();
        waiters_.pop_front();
        if (next->abandoned) continue;
        next->granted = true;
        mainExecutor().post([this, next] {
            if (next->abandoned) {
                leave();
                return;
            }
            auto handle = std::exchange(next->handle, {});
            handle.resume();
        });
        return;
    }
    --holders_;
}

} // namespace oxel
