#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace oxel {

namespace detail {
struct CancelState {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::uint64_t nextId = 0;
    std::map<std::uint64_t, std::function<void()>> callbacks;
};
} // namespace detail

// Keeps a cancellation callback registered until destroyed. A callback may still be running on
// the cancelling thread while its registration goes away, so callbacks capture shared state only.
class CancelRegistration {
public:
    CancelRegistration() = default;
    CancelRegistration(std::weak_ptr<detail::CancelState> state, std::uint64_t id) : state_(std::move(state)), id_(id)
    {}
    CancelRegistration(CancelRegistration&& other) noexcept { *this = std::move(other); }
    CancelRegistration& operator=(CancelRegistration&& other) noexcept;
    ~CancelRegistration() { unregister(); }
    void unregister();

private:
    std::weak_ptr<detail::CancelState> state_;
    std::uint64_t id_ = 0;
};

// The receiving side of a cancellation: a flag to poll and callbacks to run once it is set
// (a cancelled sleep wakes at once, a cancelled transfer aborts). A default token never cancels.
class CancelToken {
public:
    CancelToken() = default;
    explicit CancelToken(std::shared_ptr<detail::CancelState> state) : state_(std::move(state)) {}

    bool cancelled() const { return state_ && state_->cancelled.load(); }
    // Runs `callback` on the cancelling thread when cancelled, or at once when already cancelled.
    [[nodiscard]] CancelRegistration onCancel(std::function<void()> callback) const;

private:
    std::shared_ptr<detail::CancelState> state_;
};

// The sending side: `cancel()` sets the flag once and runs the callbacks registered so far.
class CancelSource {
public:
    CancelSource() : state_(std::make_shared<detail::CancelState>()) {}
    CancelToken token() const { return CancelToken(state_); }
    bool cancelled() const { return state_->cancelled.load(); }
    void cancel();

private:
    std::shared_ptr<detail::CancelState> state_;
};

} // namespace oxel
