#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace oxel {

// Runs a view's refresh once at the end of the current event-loop turn, however many changes
// asked for it in that turn: a slider drag writes the model on every pointer move, and each write
// announces several fields. Owned by the view it refreshes; nothing runs once the view is gone.
class TurnRefresh {
public:
    TurnRefresh(QWidget& view, std::function<void()> refresh);

    void request();
    // Runs a pending refresh now.
    void flush();
    bool pending() const { return pending_; }

private:
    QPointer<QWidget> view_;
    std::function<void()> refresh_;
    bool pending_ = false;
};

} // namespace oxel
