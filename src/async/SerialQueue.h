#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace oxel {

// A labelled queue that runs its jobs one at a time, in the order they were added, on a thread
// of its own. Going away waits for every job already added.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(std::function<void()> job);
    // Blocks until every job added so far has finished.
    void wait();
    // No job waits or runs.
    bool idle();

private:
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace oxel
