// Speed of the batch bands and the lightbox on the real application model. Not run by CTest.
#include "PhotographPicture.h"
#include "model/QuietWindow.h"
#include "ui/PatternedBitmap.h"

#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "develop/grade/GradeLooks.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "ondevice/NoLanguageModel.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/LightboxView.h"
#include "ui/window/ResultsBand.h"
#include "ui/window/StrengthBand.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>

namespace oxel {
namespace {

constexpr int previewWidth = 1878, previewHeight = 1252;

// The application model in a folder of its own, with a batch of developed photographs.
class DevelopedBatch {
public:
    explicit DevelopedBatch(int count)
        : folder_(makeFolder()),
          settings_(folder_ / "settings.json"),
          library_(LibraryStore::Environment{
              folder_ / "Library",
              [](const std::filesystem::path&) -> std::optional<std::string> { return std::nullopt; }, &loop_})
    {
        model = std::make_unique<AppModel>(ModelServices{
            settings_, library_, loop_, AuthService::Environment::standard(), pool_, HttpSession::shared(),
            [](const std::string&) { return true; }, panels_, control_, languageModel_, folder_ / "originals"});
        std::vector<std::filesystem::path> files;
        const std::string jpeg = local::encodeJPEG(bench::photographPicture(300, 200), 90);
        for (int index = 0; index < count; ++index) {
            files.push_back(folder_ / ("IMG_" + std::to_string(1000 + index) + ".jpg"));
            std::ofstream(files.back(), std::ios::binary) << jpeg;
        }
        model->addDropped(files);
        loop_.runUntil([this] { return model->tasks().runningCount() == 0; });
        model->ensureBatchStored();
        for (const auto& item : model->items()) develop(*item, 0);
    }

    ~DevelopedBatch()
    {
        model.reset();
        std::filesystem::remove_all(folder_);
    }

    // A result with both looks and a preview of its own, so every hand-over is a new picture.
    static void develop(BatchItem& item, uint8_t seed)
    {
        auto outcome =
            std::make_shared<JobOutcome>("job-1", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
        outcome->previewPlan = TransferPlan{};
        outcome->looks = GradeLooks{};
        outcome->looks->alternative = SuggestedGrade{};
        for (int look = 0; look < 2; ++look) outcome->lookThumbs.push_back(picture(132, 88, uint8_t(seed + look)));
        item.setResult(std::move(outcome));
        item.setPreviewImage(picture(previewWidth, previewHeight, seed));
    }

    std::unique_ptr<AppModel> model;

private:
    static std::filesystem::path makeFolder()
    {
        std::string name = (std::filesystem::temp_directory_path() / "oxel-bands-bench-XXXXXX").string();
        return ::mkdtemp(name.data());
    }

    static PictureHandle picture(int width, int height, uint8_t seed)
    {
        auto make = [width, height, seed] {
            return std::optional<Bitmap>(bench::patternedBitmap(width, height, seed));
        };
        return PictureHandle::seeded(*make(), {width, height, make});
    }

    std::filesystem::path folder_;
    ManualLoop loop_;
    WorkPool pool_{2};
    SettingsStore settings_;
    LibraryStore library_;
    bench::QuietPanels panels_;
    bench::QuietControl control_;
    NoLanguageModel languageModel_;
};

// The lightbox set on a developed photograph with a preview-sized picture, to its first painted
// frame at window size. Two photographs take turns, so each frame scales a new picture.
void BM_LightboxOpen(benchmark::State& state)
{
    DevelopedBatch batch(2);
    DevelopedBatch::develop(*batch.model->items()[1], 40);
    LightboxView view(*batch.model);
    view.resize(1200, 800);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return state.SkipWithError("the window did not show");
    size_t turn = 0;
    for (auto _ : state) {
        const auto& item = batch.model->items()[turn++ % 2];
        batch.model->setLightbox(item);
        view.setItem(item);
        view.repaint();
    }
}
BENCHMARK(BM_LightboxOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

// One pointer move on the batch light track of the results band over twelve developed
// photographs, to the band repainted. The previews it asks for are left unrendered.
void BM_BatchSliderStep(benchmark::State& state)
{
    DevelopedBatch batch(12);
    ResultsBand band(*batch.model);
    band.resize(1200, band.sizeHint().height());
    band.show();
    if (!QTest::qWaitForWindowExposed(&band)) return state.SkipWithError("the window did not show");
    StrengthTrack& track = *band.strengthBand()->track();
    const QPointF start(10, track.height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, start, track.mapToGlobal(start), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&track, &press);
    int step = 0;
    for (auto _ : state) {
        const QPointF at(20 + (step++ % 400), track.height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, track.mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&track, &move);
        QCoreApplication::sendPostedEvents();
        band.repaint();
    }
}
BENCHMARK(BM_BatchSliderStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace oxel
