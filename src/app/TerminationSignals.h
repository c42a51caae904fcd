#pragma once

#include <QObject>

class QSocketNotifier;

namespace oxel {

// SIGTERM, SIGINT and SIGHUP, brought to the event loop through a pipe, so the application can
// save and drain before it ends instead of being cut off mid-write.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // One at a time: it owns the process's handlers of the three signals while it lives.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace oxel
