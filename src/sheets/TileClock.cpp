#include "sheets/TileClock.h"

#include "library/BatchItem.h"

#include <algorithm>

namespace oxel {

TileClock::TileClock(Now now, QObject* parent) : QObject(parent), now_(std::move(now))
{
    timer_.setInterval(1000);
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &TileClock::tick);
}

Date TileClock::systemNow()
{
    return std::chrono::system_clock::now();
}

void TileClock::join(QObject* receiver, const BatchItem& item, Tick tick)
{
    members_.push_back({receiver, &item, std::move(tick)});
    connect(receiver, &QObject::destroyed, this, [this, receiver] { leave(receiver); });
    if (!timer_.isActive()) timer_.start();
}

void TileClock::leave(QObject* receiver)
{
    std::erase_if(members_, [receiver](const Member& member) { return member.receiver == receiver; });
    if (members_.empty()) timer_.stop();
}

void TileClock::tick()
{
    const Date time = now_();
    std::vector<QObject*> due;
    for (const Member& member : members_)
        if (member.item->phase().isInFlight()) due.push_back(member.receiver);
    // A tile ticked may take others with it; tick only those still here, from a copy of the call.
    for (QObject* receiver : due) {
        const auto member = std::ranges::find(members_, receiver, &Member::receiver);
        if (member == members_.end()) continue;
        const Tick tick = member->tick;
        tick(time);
    }
}

} // namespace oxel
