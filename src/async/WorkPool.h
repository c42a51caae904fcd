#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace oxel {

enum class WorkPriority { userInitiated, utility };

// Threads for blocking work (HTTP calls, file I/O, renders) off the main thread. Waiting
// user-initiated jobs always start before waiting utility jobs.
class WorkPool {
public:
    explicit WorkPool(unsigned threads);
    // Finishes the jobs already submitted, then joins the threads.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void submit(WorkPriority priority, std::function<void()> job);
    unsigned threadCount() const { return unsigned(threads_.size()); }

    // The process-wide pool, one thread per core (at least four, as most jobs wait on the network).
    static WorkPool& shared();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> userInitiated_;
    std::deque<std::function<void()>> utility_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace oxel
