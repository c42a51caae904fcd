#pragma once

#include "async/MainExecutor.h"

#include <coroutine>
#include <memory>
#include <optional>
#include <utility>

namespace oxel {

// A value that arrives once, from whichever source comes first (an answer, a cancel, a
// timeout): `complete` on the main thread, `co_await completion.value()` in one task. Later
// completions are refused, so the first one wins.
template <typename T>
class Completion {
    struct State {
        std::optional<T> value;
        std::coroutine_handle<> waiting;
        bool abandoned = false; // the awaiting task went away before its turn
    };

public:
    Completion() : state_(std::make_shared<State>()) {}

    bool completed() const { return state_->value.has_value(); }

    // False when a value came earlier.
    bool complete(T value)
    {
        if (state_->value) return false;
        state_->value.emplace(std::move(value));
        if (auto waiting = std::exchange(state_->waiting, {}))
            mainExecutor().post([state = state_, waiting] {
                if (!state->abandoned) waiting.resume();
            });
        return true;
    }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> state) : state_(std::move(state)) {}
        Awaiter(Awaiter&&) = default;
        ~Awaiter()
        {
            if (state_) {
                state_->abandoned = true;
                state_->waiting = {};
            }
        }
        bool await_ready() const noexcept { return state_->value.has_value(); }
        void await_suspend(std::coroutine_handle<> waiting)
        {
            state_->waiting = waiting;
            state_->abandoned = false;
        }
        T await_resume() { return *state_->value; }

    private:
        std::shared_ptr<State> state_;
    };
    Awaiter value() const { return Awaiter(state_); }

private:
    std::shared_ptr<State> state_;
};

} // namespace oxel
