#include "async/CancelToken.h"

namespace oxel {

CancelRegistration& CancelRegistration::operator=(CancelRegistration&& other) noexcept
{
    if (this != &other) {
        unregister();
        state_ = std::move(other.state_);
        id_ = other.id_;
        other.state_.reset();
    }
    return *this;
}

void CancelRegistration::unregister()
{
    if (auto state = state_.lock()) {
        std::lock_guard lock(state->mutex);
        state->callbacks.erase(id_);
    }
    state_.reset();
}

CancelRegistration CancelToken::onCancel(std::function<void()> callback) const
{
    if (!state_) return {};
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->cancelled.load()) {
            const auto id = state_->nextId++;
            state_->callbacks.emplace(id, std::move(callback));
            return CancelRegistration(state_, id);
        }
    }
    callback();
    return {};
}

void CancelSource::cancel()
{
    std::map<std::uint64_t, std::function<void()>> callbacks;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled.exchange(true)) return;
        callbacks.swap(state_->callbacks);
    }
    for (auto& [id, callback] : callbacks) callback();
}

} // namespace oxel
