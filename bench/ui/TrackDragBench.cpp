// A tile's light track moved on a developed photograph until the tile is painted again with the
// new preview: the real model, the real develop engine, an sRGB original. Not run by CTest.
#include "PhotographPicture.h"
#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "ui/BenchModel.h"
#include "ui/kit/StrengthTrack.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <benchmark/benchmark.h>

#include <fstream>

namespace oxel {
namespace {

void send(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void BM_TrackDragToRepaint(benchmark::State& state)
{
    bench::BenchModel bench("track-drag");
    AppModel& model = bench.model;
    ManualLoop& loop = bench.loop;
    const auto original = bench.backend.folder / "original.jpg";
    std::ofstream(original, std::ios::binary) << local::encodeJPEG(bench::photographPicture(2048, 1365), 92);
    model.addDropped({original});
    if (!loop.runUntil([&] { return model.items().size() == 1 && model.tasks().runningCount() == 0; }))
        return state.SkipWithError("the original was not read");
    const auto item = model.items().front();
    model.process();
    if (!loop.runUntil([&] { return item->result() && item->previewImage(); }))
        return state.SkipWithError("the photograph was not developed");

    // The grid places the tile and wires it to the model, as the main window's does.
    TileGrid grid(model);
    grid.resize(1200, 800);
    grid.refreshNow();
    TileView* tile = grid.tileFor(item->id);
    auto* track = tile ? tile->findChild<StrengthTrack*>() : nullptr;
    if (!track || !track->trackEnabled()) return state.SkipWithError("the light track is not there");
    QImage target(tile->size(), QImage::Format_RGB32);
    tile->render(&target);

    int previews = 0;
    Connection counted = item->changed.connect([&](BatchItem::Field field) {
        if (field == BatchItem::Field::previewImage) ++previews;
    });
    int step = 0;
    for (auto _ : state) {
        const QPointF at(track->width() * (0.2 + 0.6 * (step++ % 2)), track->height() / 2.0);
        const int before = previews;
        send(*track, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        send(*track, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        if (!loop.runUntil([&] { return previews > before && model.previews().inFlight().empty(); }))
            return state.SkipWithError("no new preview came");
        tile->render(&target);
    }
}
BENCHMARK(BM_TrackDragToRepaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

} // namespace
} // namespace oxel
