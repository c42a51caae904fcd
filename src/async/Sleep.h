#pragma once

#include "async/CancelToken.h"
#include "async/MainExecutor.h"

#include <chrono>
#include <coroutine>
#include <memory>

namespace oxel {

// Awaiter of `sleepFor`: resumes on the main executor when the delay has passed (false) or as
// soon as the token is cancelled (true).
class SleepAwaiter {
public:
    SleepAwaiter(std::chrono::nanoseconds delay, CancelToken token);
    SleepAwaiter(SleepAwaiter&&) = default;
    ~SleepAwaiter();

    bool await_ready();
    void await_suspend(std::coroutine_handle<> waiting);
    bool await_resume() const;

private:
    struct State;
    std::chrono::nanoseconds delay_;
    CancelToken token_;
    std::shared_ptr<State> state_;
    CancelRegistration registration_;
};

// `bool cancelled = co_await sleepFor(delay, token);` Timers run on the main executor's clock,
// so a test loop covers long waits in no real time.
inline SleepAwaiter sleepFor(std::chrono::nanoseconds delay, CancelToken token = {})
{
    return SleepAwaiter(delay, std::move(token));
}

} // namespace oxel
