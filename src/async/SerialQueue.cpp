#include "async/SerialQueue.h"

#include <pthread.h>

namespace oxel {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label))
{
    thread_ = std::thread([this] { run(); });
    // Thread names are cut to 15 bytes; the end of the label tells the queues apart.
    const std::string shortName = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(thread_.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void SerialQueue::wait()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

bool SerialQueue::idle()
{
    std::lock_guard lock(mutex_);
    return jobs_.empty() && !busy_;
}

void SerialQueue::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        job();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace oxel
