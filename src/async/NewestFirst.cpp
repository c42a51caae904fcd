#include "async/NewestFirst.h"

#include <utility>

namespace oxel {

NewestFirst::NewestFirst(WorkPool& pool, WorkPriority priority) : pool_(pool), priority_(priority)
{}

void NewestFirst::submit(std::function<void()> job)
{
    {
        const std::lock_guard lock(waiting_->mutex);
        waiting_->jobs.push_back(std::move(job));
    }
    pool_.submit(priority_, [waiting = waiting_] {
        std::function<void()> newest;
        {
            const std::lock_guard lock(waiting->mutex);
            newest = std::move(waiting->jobs.back());
            waiting->jobs.pop_back();
        }
        newest();
    });
}

NewestFirst& NewestFirst::shared(WorkPriority priority)
{
    // Never destroyed: jobs may still take their turns while the process ends.
    static NewestFirst* const photographers = new NewestFirst(WorkPool::shared(), WorkPriority::userInitiated);
    static NewestFirst* const utilities = new NewestFirst(WorkPool::shared(), WorkPriority::utility);
    return priority == WorkPriority::userInitiated ? *photographers : *utilities;
}

} // namespace oxel
