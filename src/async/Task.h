#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace oxel {

template <typename T>
class Task;

namespace detail {

struct TaskPromiseBase {
    std::coroutine_handle<> continuation;
    // Set for a task started by `TaskScope::spawn`: called once the task has finished.
    std::function<void()> onFinished;
    std::exception_ptr error;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept
        {
            auto& promise = self.promise();
            if (promise.continuation) return promise.continuation;
            // The callback may destroy this frame, so it is moved out first.
            if (auto finished = std::move(promise.onFinished)) finished();
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { error = std::current_exception(); }
};

template <typename T>
struct TaskPromise : TaskPromiseBase {
    std::optional<T> value;
    Task<T> get_return_object();
    template <typename U>
    void return_value(U&& result)
    {
        value.emplace(std::forward<U>(result));
    }
    T take()
    {
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }
};

template <>
struct TaskPromise<void> : TaskPromiseBase {
    Task<void> get_return_object();
    void return_void() noexcept {}
    void take()
    {
        if (error) std::rethrow_exception(error);
    }
};

} // namespace detail

// A lazy coroutine: nothing runs until it is awaited or spawned. Awaiting a task runs it to its
// end and yields its result; every awaiter in src/async resumes on the main executor, so a task
// that starts on the main thread stays there. Destroying a task that has not finished destroys
// its frame without resuming it.
template <typename T = void>
class [[nodiscard]] Task {
public:
    using promise_type = detail::TaskPromise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit Task(Handle handle) : handle_(handle) {}
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            if (handle_) handle_.destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    ~Task()
    {
        if (handle_) handle_.destroy();
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept
    {
        handle_.promise().continuation = caller;
        return handle_;
    }
    T await_resume() { return handle_.promise().take(); }

    // Hands the frame over (to a `TaskScope`).
    Handle release() { return std::exchange(handle_, {}); }

private:
    Handle handle_;
};

namespace detail {
template <typename T>
Task<T> TaskPromise<T>::get_return_object()
{
    return Task<T>(std::coroutine_handle<TaskPromise<T>>::from_promise(*this));
}
inline Task<void> TaskPromise<void>::get_return_object()
{
    return Task<void>(std::coroutine_handle<TaskPromise<void>>::from_promise(*this));
}
} // namespace detail

} // namespace oxel
