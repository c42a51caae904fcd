#pragma once

#include "async/CancelToken.h"
#include "async/Task.h"

#include <cstdint>
#include <map>
#include <memory>

namespace oxel {

// Owns tasks that nobody awaits. `spawn` starts a task on the main executor after the caller
// returns; the scope forgets it when it finishes. When the scope goes away it cancels its token
// and destroys the tasks still running without resuming them, so a task never outlives the
// object that started it. Main thread only.
class TaskScope {
public:
    TaskScope();
    ~TaskScope();
    TaskScope(const TaskScope&) = delete;
    TaskScope& operator=(const TaskScope&) = delete;

    void spawn(Task<void> task);
    // Cancelled when the scope goes away.
    CancelToken token() const { return cancel_.token(); }
    std::size_t runningCount() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    CancelSource cancel_;
};

inline void spawn(TaskScope& scope, Task<void> task)
{
    scope.spawn(std::move(task));
}

} // namespace oxel
