// Speed of the interface's pictures and controls, under the offscreen platform. Not run by CTest.
#include "ui/PatternedBitmap.h"
#include "ui/kit/DisplayPicture.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Motion.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/StrengthTrack.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTest>
#include <benchmark/benchmark.h>

#include <array>

namespace oxel {
namespace {

constexpr int previewWidth = 1878, previewHeight = 1252;

Bitmap preview(const ColourSpace& space, uint8_t seed)
{
    return bench::patternedBitmap(previewWidth, previewHeight, seed, space);
}

bool shown(QWidget& widget)
{
    widget.show();
    return QTest::qWaitForWindowExposed(&widget);
}

// Hands the picture over and waits until the view shows it: at once for sRGB, after the
// conversion for any other space.
void showAndWait(PixelImage& view, const Bitmap& picture)
{
    QEventLoop loop;
    bool shown = false;
    QObject::connect(&view, &PixelImage::pictureShown, &loop, [&] {
        shown = true;
        loop.quit();
    });
    view.setPicture(picture);
    if (!shown) loop.exec();
}

// A new preview handed to a tile-sized view until it is painted: three pictures take turns, so
// each hand-over is neither the picture shown nor the one before it, which the view keeps.
void BM_PreviewToTile(benchmark::State& state)
{
    const bool displayP3 = state.range(0) == 1;
    const ColourSpace& space = displayP3 ? ColourSpace::displayP3() : ColourSpace::sRGB();
    const std::array<Bitmap, 3> pictures = {preview(space, 0), preview(space, 1), preview(space, 2)};
    PixelImage view;
    view.resize(372, 248);
    if (!shown(view)) return state.SkipWithError("the window did not show");
    size_t turn = 0;
    for (auto _ : state) {
        showAndWait(view, pictures[turn++ % pictures.size()]);
        view.repaint();
    }
    state.SetLabel(displayP3 ? "Display P3" : "sRGB");
}
BENCHMARK(BM_PreviewToTile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The conversion alone: a Display P3 preview brought to 8-bit sRGB.
void BM_DisplayP3Conversion(benchmark::State& state)
{
    const Bitmap picture = preview(ColourSpace::displayP3(), 0);
    for (auto _ : state) benchmark::DoNotOptimize(convertedForDisplay(picture));
}
BENCHMARK(BM_DisplayP3Conversion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PixelImageRepaint(benchmark::State& state)
{
    PixelImage view;
    view.resize(372, 248);
    view.setPicture(preview(ColourSpace::sRGB(), 0));
    if (!shown(view)) return state.SkipWithError("the window did not show");
    view.repaint();
    for (auto _ : state) view.repaint();
}
BENCHMARK(BM_PixelImageRepaint)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_TrackDragStep(benchmark::State& state)
{
    StrengthTrack track;
    track.resize(240, StrengthTrack::trackHeight);
    track.setTicks({0, 0.5, 1});
    if (!shown(track)) return state.SkipWithError("the window did not show");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 11), QPointF(10, 11), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&track, &press);
    int step = 0;
    for (auto _ : state) {
        const QPointF at(20 + (step++ % 200), 11);
        QMouseEvent move(QEvent::MouseMove, at, track.mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&track, &move);
        track.repaint();
    }
}
BENCHMARK(BM_TrackDragStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace oxel

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    oxel::installInterfaceFonts();
    oxel::Motion::setInstant(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
