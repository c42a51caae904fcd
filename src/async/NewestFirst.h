#pragma once

#include "async/WorkPool.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace oxel {

// Jobs on a work pool at one priority, the newest waiting one first: for work asked for by what is
// on screen now, where what was asked for a moment ago may already be out of sight. Each job
// submitted takes one turn on the pool; a turn runs whichever job is newest then.
class NewestFirst {
public:
    NewestFirst(WorkPool& pool, WorkPriority priority);

    void submit(std::function<void()> job);

    // The newest-first jobs of the shared pool at this priority.
    static NewestFirst& shared(WorkPriority priority = WorkPriority::userInitiated);

private:
    struct Waiting {
        std::mutex mutex;
        std::vector<std::function<void()>> jobs;
    };

    WorkPool& pool_;
    WorkPriority priority_;
    std::shared_ptr<Waiting> waiting_ = std::make_shared<Waiting>();
};

} // namespace oxel
