#pragma once

#include "async/CancelToken.h"
#include "async/MainExecutor.h"
#include "async/WorkPool.h"

#include <concepts>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <type_traits>

namespace oxel {

// Awaiter of `offload`: runs a function on the work pool and resumes the awaiting task on the
// main executor with its result (or rethrows what it threw). It keeps `registration` for as long
// as the task awaits.
template <typename Result>
class OffloadAwaiter {
    using Stored = std::conditional_t<std::is_void_v<Result>, bool, Result>;
    struct State {
        std::optional<Stored> result;
        std::exception_ptr error;
        std::coroutine_handle<> waiting;
        bool abandoned = false; // main thread only
    };

public:
    template <typename Function>
    OffloadAwaiter(WorkPool& pool, WorkPriority priority, Function function, CancelRegistration registration = {})
        : pool_(pool),
          priority_(priority),
          function_(std::move(function)),
          state_(std::make_shared<State>()),
          registration_(std::move(registration))
    {}
    OffloadAwaiter(OffloadAwaiter&&) = default;
    ~OffloadAwaiter()
    {
        if (state_) state_->abandoned = true;
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        state_->waiting = waiting;
        MainExecutor& executor = mainExecutor();
        pool_.submit(priority_, [state = state_, function = std::move(function_), &executor,
                                 pending = std::make_shared<PendingWork>(executor)] {
            try {
                if constexpr (std::is_void_v<Result>) {
                    function();
                    state->result.emplace(true);
                } else {
                    state->result.emplace(function());
                }
            } catch (...) {
                state->error = std::current_exception();
            }
            executor.post([state] {
                if (!state->abandoned) state->waiting.resume();
            });
        });
    }
    Result await_resume()
    {
        if (state_->error) std::rethrow_exception(state_->error);
        if constexpr (!std::is_void_v<Result>) return std::move(*state_->result);
    }

private:
    WorkPool& pool_;
    WorkPriority priority_;
    std::function<Result()> function_;
    std::shared_ptr<State> state_;
    CancelRegistration registration_;
};

// `co_await offload(priority, fn)`: `fn` runs on the shared work pool; the task goes on on the
// main thread with its result. Hand `fn` values or immutable data only.
template <typename Function>
auto offload(WorkPriority priority, Function function)
{
    return OffloadAwaiter<std::invoke_result_t<Function>>(WorkPool::shared(), priority, std::move(function));
}

template <typename Function>
auto offload(WorkPool& pool, WorkPriority priority, Function function)
{
    return OffloadAwaiter<std::invoke_result_t<Function>>(pool, priority, std::move(function));
}

// `co_await offload(pool, priority, cancel, fn)`: as above, for blocking work that can stop early.
// `fn` takes a `std::stop_token`, which is asked to stop once `cancel` is cancelled (at once when
// it already is).
template <typename Function>
requires std::invocable<Function&, std::stop_token>
auto offload(WorkPool& pool, WorkPriority priority, const CancelToken& cancel, Function function)
{
    auto stop = std::make_shared<std::stop_source>();
    auto registration = cancel.onCancel([stop] { stop->request_stop(); });
    auto work = [stop, function = std::move(function)]() mutable { return function(stop->get_token()); };
    using Result = std::invoke_result_t<Function&, std::stop_token>;
    return OffloadAwaiter<Result>(pool, priority, std::move(work), std::move(registration));
}

template <typename Function>
requires std::invocable<Function&, std::stop_token>
auto offload(WorkPriority priority, const CancelToken& cancel, Function function)
{
    return offload(WorkPool::shared(), priority, cancel, std::move(function));
}

} // namespace oxel
