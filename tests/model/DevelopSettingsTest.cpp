#include "ExportFixture.h"

#include "develop/DevelopOrder.h"
#include "export/Exporter.h"
#include "imaging/PictureCache.h"
#include "library/JobOutcome.h"
#include "support/SamePixels.h"

namespace oxel::testing {
namespace {

Task<void> take(Task<std::optional<std::vector<uint8_t>>> task, std::optional<std::vector<uint8_t>>& into)
{
    into = co_await std::move(task);
}

class DevelopSettingsTest : public ExportTest {};

// One item at its own strength and colour, with grain switched off: its preview, the same preview
// made again once the cache let it go, its report picture and its export are each what the engine
// makes of the one value the model hands out, and none of them wears the grain.
TEST_F(DevelopSettingsTest, PreviewReportExportAndARemadePreviewFollowOneValue)
{
    const auto item = developed({writeJPEG("one.jpg", 600, 400)}).front();
    model->setGrainEnabled(false);
    model->setStrength(0.6, item);
    model->setColour(0.4, item);
    const DevelopSettings settings = model->developSettings(*item);
    EXPECT_EQ(settings, (DevelopSettings{.alternative = false, .strength = 0.6, .colour = 0.4, .grain = false}));
    ASSERT_TRUE(runUntil([&] { return model->previews().inFlight().empty() && model->previews().wanted().empty(); }));

    const JobOutcome& result = *item->result();
    const auto expected = renderDeveloped(result, settings);
    EXPECT_TRUE(samePixels(item->previewImage()->bitmap(), expected));
    DevelopSettings grained = settings;
    grained.grain = true;
    EXPECT_FALSE(samePixels(renderDeveloped(result, grained), expected)) << "the result has grain to leave out";

    PictureCache::shared().forget(item->previewImage()->key());
    EXPECT_TRUE(samePixels(item->previewImage()->bitmap(), expected)) << "made again the same way";

    std::optional<std::vector<uint8_t>> report;
    await(take(model->reportPicture(item->result(), model->developSettings(*item)), report));
    EXPECT_EQ(report, developedJPEG(result, settings, AppModel::reportPictureEdge));

    std::filesystem::create_directories(out());
    ExportOptions png;
    png.format = ExportFormat::png;
    model->startExport(item, out() / "model.png", png, false);
    runExports();
    ASSERT_TRUE(std::holds_alternative<ExportReport>(
        exportPicture(*item->source(), result, settings, out() / "direct.png", png)));
    ASSERT_TRUE(std::holds_alternative<ExportReport>(
        exportPicture(*item->source(), result, grained, out() / "grained.png", png)));
    EXPECT_EQ(pixelDigest(out() / "model.png"), pixelDigest(out() / "direct.png"));
    EXPECT_NE(pixelDigest(out() / "model.png"), pixelDigest(out() / "grained.png"));
}

} // namespace
} // namespace oxel::testing
