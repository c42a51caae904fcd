#pragma once

#include "library/InternetDate.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace oxel {

class BatchItem;

// The one-second clock of the tile grid: a single timer for every tile, which on each tick sets
// the time only on tiles whose item is in flight, the only ones that show an elapsed time. A tile
// joins with itself as the receiver and leaves by being destroyed.
class TileClock : public QObject {
    Q_OBJECT
public:
    using Now = std::function<Date()>;
    using Tick = std::function<void(Date)>;

    explicit TileClock(Now now = systemNow, QObject* parent = nullptr);

    static Date systemNow();

    Date now() const { return now_(); }
    // Ticks `tick` with the time while `item` is in flight, until `receiver` is destroyed.
    void join(QObject* receiver, const BatchItem& item, Tick tick);
    // One tick, as the timer does it every second.
    void tick();
    int memberCount() const { return static_cast<int>(members_.size()); }

private:
    struct Member {
        QObject* receiver;
        const BatchItem* item;
        Tick tick;
    };

    void leave(QObject* receiver);

    Now now_;
    QTimer timer_;
    std::vector<Member> members_;
};

} // namespace oxel
