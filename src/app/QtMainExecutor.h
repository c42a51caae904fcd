#pragma once

#include "async/MainExecutor.h"

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

class QTimer;

namespace oxel {

// The main executor on Qt's event loop: jobs posted from any thread run in order on the thread
// that owns the application object; timers are Qt timers.
class QtMainExecutor final : public QObject, public MainExecutor {
    Q_OBJECT
public:
    // Needs the QApplication to exist already.
    QtMainExecutor();
    // Waits for the work still running elsewhere: it posts back here when it ends.
    ~QtMainExecutor() override;

    void post(std::function<void()> job) override;
    TimerId postAfter(std::chrono::nanoseconds delay, std::function<void()> job) override;
    void cancelTimer(TimerId timer) override;
    bool onMainThread() const override;
    void workStarted() override;
    void workFinished() override;

    // Blocks until every piece of work started elsewhere has ended. What it posted back is not
    // run here; it waits in the event queue.
    void waitForPendingWork();
    // The same until `deadline` at the latest; false when some work still runs then.
    bool waitForPendingWork(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex workMutex_;
    std::condition_variable workEnded_;
    int pendingWork_ = 0;
    std::map<TimerId, QTimer*> timers_;
    TimerId nextTimer_ = 1;
};

} // namespace oxel
