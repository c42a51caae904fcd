#include "app/ForwardedStarts.h"

#include "async/MainExecutor.h"

#include <utility>

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

std::vector<std::vector<std::string>> ForwardedStarts::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    deliver_ = nullptr;
    std::vector<std::vector<std::string>> undelivered;
    for (auto& [arguments, hold] : std::exchange(waiting_, {})) undelivered.push_back(std::move(arguments));
    return undelivered;
}

} // namespace oxel
