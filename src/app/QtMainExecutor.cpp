#include "app/QtMainExecutor.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cassert>

namespace oxel {

QtMainExecutor::QtMainExecutor()
{
    assert(QCoreApplication::instance());
    moveToThread(QCoreApplication::instance()->thread());
}

QtMainExecutor::~QtMainExecutor()
{
    waitForPendingWork();
    for (auto& [id, timer] : timers_) delete timer;
}

void QtMainExecutor::post(std::function<void()> job)
{
    // Queued invocations on one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

TimerId QtMainExecutor::postAfter(std::chrono::nanoseconds delay, std::function<void()> job)
{
    assert(onMainThread());
    TimerId id = nextTimer_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, std::chrono::nanoseconds(0)));
    timer->setInterval(milliseconds);
    connect(timer, &QTimer::timeout, this, [this, id, job = std::move(job)] {
        auto found = timers_.find(id);
        if (found == timers_.end()) return;
        found->second->deleteLater();
        timers_.erase(found);
        job();
    });
    timers_.emplace(id, timer);
    timer->start();
    return id;
}

void QtMainExecutor::cancelTimer(TimerId timer)
{
    assert(onMainThread());
    auto found = timers_.find(timer);
    if (found == timers_.end()) return;
    found->second->stop();
    found->second->deleteLater();
    timers_.erase(found);
}

void QtMainExecutor::workStarted()
{
    std::lock_guard lock(workMutex_);
    ++pendingWork_;
}

void QtMainExecutor::workFinished()
{
    std::lock_guard lock(workMutex_);
    if (--pendingWork_ == 0) workEnded_.notify_all();
}

void QtMainExecutor::waitForPendingWork()
{
    std::unique_lock lock(workMutex_);
    workEnded_.wait(lock, [this] { return pendingWork_ == 0; });
}

bool QtMainExecutor::waitForPendingWork(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(workMutex_);
    return workEnded_.wait_until(lock, deadline, [this] { return pendingWork_ == 0; });
}

bool QtMainExecutor::onMainThread() const
{
    return QThread::currentThread() == thread();
}

} // namespace oxel
