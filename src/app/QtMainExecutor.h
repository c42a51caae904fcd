#pragma once

#include "async/MainExecutor.h"

#include <QObject>

#include <map>

class QTimer;

namespace oxel {

// The main executor on Qt's event loop: jobs posted from any thread run in order on the thread
// that owns the application object; timers are Qt timers.
class QtMainExecutor final : public QObject, public MainExecutor {
    Q_OBJECT
public:
    // Needs the QApplication to exist already.
    QtMainExecutor();
    ~QtMainExecutor() override;

    void post(std::function<void()> job) override;
    TimerId postAfter(std::chrono::nanoseconds delay, std::function<void()> job) override;
    void cancelTimer(TimerId timer) override;
    bool onMainThread() const override;

private:
    std::map<TimerId, QTimer*> timers_;
    TimerId nextTimer_ = 1;
};

} // namespace oxel
