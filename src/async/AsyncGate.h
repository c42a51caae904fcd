#pragma once

#include <coroutine>
#include <deque>
#include <memory>
#include <utility>

namespace oxel {

// At most `limit` holders at once; the others wait their turn first come, first served
// (three exports at once, four restores at once). Main thread only.
//
//     AsyncGate::Turn turn = co_await gate.enter();   // released when `turn` goes away
class AsyncGate {
    struct Waiter {
        std::coroutine_handle<> handle;
        bool granted = false;
        bool abandoned = false;
    };

public:
    explicit AsyncGate(int limit);
    AsyncGate(const AsyncGate&) = delete;
    AsyncGate& operator=(const AsyncGate&) = delete;

    class Turn {
    public:
        Turn() = default;
        explicit Turn(AsyncGate* gate) : gate_(gate) {}
        Turn(Turn&& other) noexcept : gate_(std::exchange(other.gate_, nullptr)) {}
        Turn& operator=(Turn&& other) noexcept;
        ~Turn() { release(); }
        void release();

    private:
        AsyncGate* gate_ = nullptr;
    };

    class EnterAwaiter {
    public:
        explicit EnterAwaiter(AsyncGate& gate) : gate_(gate) {}
        EnterAwaiter(EnterAwaiter&&) = default;
        ~EnterAwaiter();
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle);
        Turn await_resume() { return Turn(&gate_); }

    private:
        AsyncGate& gate_;
        std::shared_ptr<Waiter> waiter_;
    };

    EnterAwaiter enter() { return EnterAwaiter(*this); }
    int holders() const { return holders_; }
    std::size_t waiting() const { return waiters_.size(); }

private:
    void leave();

    int limit_;
    int holders_ = 0;
    std::deque<std::shared_ptr<Waiter>> waiters_;
};

} // namespace oxel
