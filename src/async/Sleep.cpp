#include "async/Sleep.h"

namespace oxel {

struct SleepAwaiter::State {
    MainExecutor* executor = nullptr;
    std::coroutine_handle<> waiting;
    TimerId timer = 0;
    bool finished = false; // main thread only
    bool cancelled = false;

    void finish(bool byCancel)
    {
        if (finished) return;
        finished = true;
        cancelled = byCancel;
        if (byCancel) executor->cancelTimer(timer);
        waiting.resume();
    }
};

SleepAwaiter::SleepAwaiter(std::chrono::nanoseconds delay, CancelToken token)
    : delay_(delay), token_(std::move(token)), state_(std::make_shared<State>())
{}

SleepAwaiter::~SleepAwaiter()
{
    if (state_ && state_->executor && !state_->finished) {
        state_->finished = true;
        state_->executor->cancelTimer(state_->timer);
    }
}

bool SleepAwaiter::await_ready()
{
    state_->cancelled = token_.cancelled();
    return state_->cancelled || delay_.count() <= 0;
}

void SleepAwaiter::await_suspend(std::coroutine_handle<> waiting)
{
    state_->waiting = waiting;
    state_->executor = &mainExecutor();
    state_->timer = state_->executor->postAfter(delay_, [state = state_] { state->finish(false); });
    registration_ = token_.onCancel([state = state_] { state->executor->post([state] { state->finish(true); }); });
}

bool SleepAwaiter::await_resume() const
{
    return state_->cancelled;
}

} // namespace oxel
