#include "async/TaskScope.h"

#include "async/MainExecutor.h"
#include "platform/Diagnostics.h"

namespace oxel {

struct TaskScope::State {
    std::uint64_t nextId = 0;
    std::map<std::uint64_t, Task<void>::Handle> tasks;
};

TaskScope::TaskScope() : state_(std::make_shared<State>())
{}

TaskScope::~TaskScope()
{
    cancel_.cancel();
    auto tasks = std::move(state_->tasks);
    state_->tasks.clear();
    for (auto& [id, handle] : tasks) handle.destroy();
}

std::size_t TaskScope::runningCount() const
{
    return state_->tasks.size();
}

void TaskScope::spawn(Task<void> task)
{
    const auto handle = task.release();
    const auto id = state_->nextId++;
    std::weak_ptr<State> weak = state_;
    handle.promise().onFinished = [weak, id, handle] {
        if (handle.promise().error) {
            // A detached task has nobody to report to; failures inside tasks are values.
            diagnose("async", "a detached task ended with an exception");
            std::terminate();
        }
        if (auto state = weak.lock()) state->tasks.erase(id);
        handle.destroy();
    };
    state_->tasks.emplace(id, handle);
    mainExecutor().post([weak, id] {
        auto state = weak.lock();
        if (!state) return;
        const auto found = state->tasks.find(id);
        if (found != state->tasks.end()) found->second.resume();
    });
}

} // namespace oxel
