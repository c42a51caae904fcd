// Speed of the grid's tiles: building one, and the shared clock ticking many.
#include "sheets/TileClock.h"
#include "sheets/TileView.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include <vector>

namespace oxel {
namespace {

PictureHandle thumbnail()
{
    return PictureHandle::seeded(*Bitmap::allocate(360, 240, PixelFormat::RGBX8),
                                 {360, 240, [] { return Bitmap::allocate(360, 240, PixelFormat::RGBX8); }});
}

std::shared_ptr<BatchItem> item(const PictureHandle& picture)
{
    return BatchItem::make(Uuid::random(), "/photos/IMG_0412.jpg", Origin::opened, SourceImage{}, picture);
}

// One tile built, laid out at grid width and painted once with its thumbnail.
void BM_TileBuild(benchmark::State& state)
{
    TileClock clock;
    const PictureHandle picture = thumbnail();
    const auto photo = item(picture);
    QImage target(260, 260, QImage::Format_RGB32);
    for (auto _ : state) {
        TileView tile(photo, clock);
        tile.resize(240, tile.heightForWidth(240));
        tile.render(&target);
    }
}
BENCHMARK(BM_TileBuild)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One tick of the shared clock over 500 tiles, 4 of them in flight and repainted.
void BM_TileClockTick(benchmark::State& state)
{
    TileClock clock;
    const PictureHandle picture = thumbnail();
    std::vector<std::shared_ptr<BatchItem>> items;
    QWidget grid;
    grid.resize(1200, 800);
    for (int index = 0; index < 500; ++index) {
        items.push_back(item(picture));
        if (index % 125 == 0) {
            items.back()->setStartedAt(TileClock::systemNow());
            items.back()->setPhase(phase::Processing{"rendering", std::nullopt});
        }
        auto* tile = new TileView(items.back(), clock, &grid);
        tile->setGeometry((index % 5) * 240, (index / 5) * 230, 240, tile->heightForWidth(240));
    }
    grid.show();
    QApplication::processEvents();
    for (auto _ : state) {
        clock.tick();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TileClockTick)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace oxel
