#pragma once

#include "async/Completion.h"
#include "async/MainExecutor.h"
#include "async/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace oxel {

// Jobs 0 to count - 1 on a work pool, in order, at most `width` at a time. A job that ends starts
// the next one from its own pool thread, so the pool stays busy however late the main thread takes
// the results; each result arrives on the main thread, to be awaited with `result(index)`. Going
// away starts no more jobs: those running finish and their results are dropped. `job` must not
// throw. Main thread only.
template <typename Result>
class WorkAhead {
public:
    WorkAhead(WorkPool& pool, WorkPriority priority, size_t count, size_t width, std::function<Result(size_t)> job)
        : shared_(std::make_shared<Shared>(pool, priority, std::move(job), count))
    {
        for (size_t started = 0; started < std::min(width, count); ++started) startNext(shared_);
    }
    ~WorkAhead() { shared_->stopped = true; }
    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;

    bool finished(size_t index) const { return shared_->results[index].completed(); }
    auto result(size_t index) const { return shared_->results[index].value(); }

private:
    struct Shared {
        Shared(WorkPool& pool, WorkPriority priority, std::function<Result(size_t)> job, size_t count)
            : pool(pool), priority(priority), job(std::move(job)), count(count), results(count)
        {}
        WorkPool& pool;
        WorkPriority priority;
        std::function<Result(size_t)> job;
        size_t count;
        std::vector<Completion<Result>> results; // main thread only
        MainExecutor& executor = mainExecutor();
        std::atomic<size_t> next = 0;
        std::atomic<bool> stopped = false;
    };

    static void startNext(const std::shared_ptr<Shared>& shared)
    {
        if (shared->stopped) return;
        const size_t index = shared->next++;
        if (index >= shared->count) return;
        auto pending = std::make_shared<PendingWork>(shared->executor);
        shared->pool.submit(shared->priority, [shared, index, pending] {
            if (shared->stopped) return;
            auto result = std::make_shared<Result>(shared->job(index));
            // The next job is queued before this one's result goes back, so that work is never
            // seen to stop between the two.
            startNext(shared);
            shared->executor.post([shared, index, result] { shared->results[index].complete(std::move(*result)); });
        });
    }

    std::shared_ptr<Shared> shared_;
};

} // namespace oxel
