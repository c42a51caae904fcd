#include "async/WorkPool.h"

#include <algorithm>

namespace oxel {

WorkPool::WorkPool(unsigned threads)
{
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { work(); });
}

WorkPool::~WorkPool()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) thread.join();
}

WorkPool& WorkPool::shared()
{
    static WorkPool pool(std::max(4u, std::thread::hardware_concurrency()));
    return pool;
}

void WorkPool::submit(WorkPriority priority, std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        (priority == WorkPriority::userInitiated ? userInitiated_ : utility_).push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkPool::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !userInitiated_.empty() || !utility_.empty(); });
            auto& queue = !userInitiated_.empty() ? userInitiated_ : utility_;
            if (queue.empty()) return; // stopping and drained
            job = std::move(queue.front());
            queue.pop_front();
        }
        job();
    }
}

} // namespace oxel
