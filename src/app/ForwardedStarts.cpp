#include "app/ForwardedStarts.h"

#include "async/MainExecutor.h"

namespace oxel {

void ForwardedStarts::receive(std::vector<std::string> arguments, InstanceChannel::Hold hold)
{
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (!deliver_) {
        waiting_.emplace_back(std::move(arguments), std::move(hold));
        return;
    }
    post(std::move(arguments), std::move(hold));
}

void ForwardedStarts::open(Deliver deliver)
{
    std::lock_guard lock(mutex_);
    deliver_ = std::move(deliver);
    for (auto& [arguments, hold] : waiting_) post(std::move(arguments), std::move(hold));
    waiting_.clear();
}

void ForwardedStarts::post(std::vector<std::string> arguments, InstanceChannel::Hold hold)
{
    mainExecutor().post([deliver = deliver_, arguments = std::move(arguments), hold = std::move(hold)]() mutable {
        deliver(std::move(arguments), std::move(hold));
    });
}

void ForwardedStarts::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    deliver_ = nullptr;
    waiting_.clear();
}

} // namespace oxel
