#include "ui/TurnRefresh.h"

namespace oxel {

TurnRefresh::TurnRefresh(QWidget& view, std::function<void()> refresh) : view_(&view), refresh_(std::move(refresh))
{}

void TurnRefresh::request()
{
    if (pending_ || !view_) return;
    pending_ = true;
    // Queued on the view, so Qt drops the call when the view is deleted first.
    QMetaObject::invokeMethod(
        view_.data(), [this] { flush(); }, Qt::QueuedConnection);
}

void TurnRefresh::flush()
{
    if (!pending_) return;
    pending_ = false;
    refresh_();
}

} // namespace oxel
