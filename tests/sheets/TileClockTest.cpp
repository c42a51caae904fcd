#include "sheets/TileClock.h"

#include "library/BatchItem.h"

#include <gtest/gtest.h>

#include <memory>

using namespace oxel;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<BatchItem> item(ItemPhase phase)
{
    auto made = BatchItem::make(Uuid::random(), "/photos/a.jpg", Origin::opened, std::nullopt, std::nullopt);
    made->setPhase(std::move(phase));
    return made;
}

} // namespace

TEST(TileClock, TicksOnlyTilesInFlightWithTheInjectedTime)
{
    Date time = Date{} + 1000h;
    TileClock clock([&] { return time; });
    const auto queued = item(phase::Queued{});
    const auto done = item(phase::Done{});
    QObject queuedTile, doneTile;
    std::vector<Date> queuedTicks, doneTicks;
    clock.join(&queuedTile, *queued, [&](Date now) { queuedTicks.push_back(now); });
    clock.join(&doneTile, *done, [&](Date now) { doneTicks.push_back(now); });

    clock.tick();
    time += 1s;
    done->setPhase(phase::Processing{"rendering", std::nullopt});
    queued->setPhase(phase::Failed{});
    clock.tick();

    EXPECT_EQ(queuedTicks, std::vector<Date>{Date{} + 1000h});
    EXPECT_EQ(doneTicks, std::vector<Date>{Date{} + 1000h + 1s});
}

TEST(TileClock, ATileGoneDuringATickIsNotTicked)
{
    TileClock clock;
    const auto first = item(phase::Queued{});
    const auto second = item(phase::Queued{});
    auto firstTile = std::make_unique<QObject>();
    auto secondTile = std::make_unique<QObject>();
    int secondTicks = 0;
    // The first tile's tick rebuilds the grid, taking the second tile away.
    clock.join(firstTile.get(), *first, [&](Date) { secondTile.reset(); });
    clock.join(secondTile.get(), *second, [&](Date) { ++secondTicks; });
    clock.tick();
    EXPECT_EQ(secondTicks, 0);
    EXPECT_EQ(clock.memberCount(), 1);
    firstTile.reset();
    EXPECT_EQ(clock.memberCount(), 0);
}
