#include "app/ForwardedStarts.h"

#include "async/MainExecutor.h"

namespace oxel {

void ForwardedStarts::receive(std::vector<std::string> arguments)
{
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (!deliver_) {
        waiting_.push_back(std::move(arguments));
        return;
    }
    mainExecutor().post(
        [deliver = deliver_, arguments = std::move(arguments)]() mutable { deliver(std::move(arguments)); });
}

void ForwardedStarts::open(Deliver deliver)
{
    std::lock_guard lock(mutex_);
    deliver_ = std::move(deliver);
    for (auto& arguments : waiting_) {
        mainExecutor().post(
            [deliver = deliver_, arguments = std::move(arguments)]() mutable { deliver(std::move(arguments)); });
    }
    waiting_.clear();
}

void ForwardedStarts::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    deliver_ = nullptr;
    waiting_.clear();
}

} // namespace oxel
