#include "sheets/TileRules.h"

#include "imaging/Bitmap.h"
#include "support/DevelopedResult.h"
#include "ui/kit/ProgressDots.h"

#include <gtest/gtest.h>

using namespace oxel;
using namespace std::chrono_literals;
using oxel::testing::developedResult;

namespace {

std::shared_ptr<BatchItem> itemAt(std::filesystem::path url, std::optional<SourceImage> source = std::nullopt)
{
    return BatchItem::make(Uuid::random(), std::move(url), Origin::opened, std::move(source), std::nullopt);
}

PictureHandle somePicture()
{
    return PictureHandle({4, 4, [] { return Bitmap::allocate(4, 4, PixelFormat::RGBX8); }});
}

const Date start = Date{} + 1000h;

} // namespace

TEST(TileRules, ElapsedTextAndDotsFollowTheJobsAge)
{
    struct Case {
        std::optional<Date> startedAt;
        Date now;
        std::string text;
        int filledDots;
    };
    const Case cases[] = {
        {start, start + 125s, "2:05", 3},   {start, start + 10min, "10:00", 3},
        {start, start + 75min, "75:00", 3}, {start, start + 49s, "0:49", 1},
        {std::nullopt, start, "0:00", 1},   {start, start - 30s, "0:00", 1}, // the clock was set back
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tile::elapsedText(c.startedAt, c.now), c.text);
        const double progress = tile::elapsedProgress(c.startedAt, c.now);
        EXPECT_GE(progress, 0);
        EXPECT_LT(progress, 1);
        int filled = 0;
        for (int index = 0; index < tile::progressDotCount; ++index)
            filled += ProgressDots::isFilled(index, tile::progressDotCount, progress);
        EXPECT_EQ(filled, c.filledDots) << c.text;
    }
    EXPECT_EQ(tile::statusLine({"rendering", std::nullopt}, start, start + 125s), "rendering · 2:05");
}

TEST(TileRules, EveryPhaseHasItsCard)
{
    using Kind = tile::PhaseCard::Kind;
    const std::pair<ItemPhase, tile::PhaseCard> cases[] = {
        {phase::Ready{}, {}},
        {phase::Done{}, {}},
        {phase::Exported{}, {}},
        {phase::Queued{}, {Kind::caption, "waiting", false}},
        {phase::Uploading{}, {Kind::caption, "sending", false}},
        {phase::Finishing{}, {Kind::caption, "collecting", false}},
        {phase::Restoring{}, {Kind::caption, "opening", false}},
        {phase::Processing{"rendering", std::nullopt}, {Kind::progress, {}, false}},
        {phase::Failed{"x", "the server is busy", true, false}, {Kind::failure, "failed · the server is busy", true}},
        {phase::Failed{std::nullopt, "no credit", false, true}, {Kind::failure, "failed · no credit", false}},
    };
    for (const auto& [phase, card] : cases) EXPECT_EQ(tile::phaseCard(phase), card) << card.caption;
}

TEST(TileRules, DirectionShowsOnlyWhenSaid)
{
    EXPECT_FALSE(tile::directionLine({"rendering", std::nullopt}));
    EXPECT_FALSE(tile::directionLine({"rendering", JobNarration{std::nullopt, std::nullopt, ""}}));
    EXPECT_EQ(tile::directionLine({"rendering", JobNarration{std::nullopt, std::nullopt, "warmer light"}}),
              "warmer light");
}

TEST(TileRules, ExportCardText)
{
    auto item = itemAt("/photos/a.jpg");
    EXPECT_FALSE(tile::exportCardText(*item));
    item->setExportProgress(0);
    item->setExportWaiting(true);
    EXPECT_EQ(tile::exportCardText(*item), "waiting to write");
    item->setExportWaiting(false);
    item->setExportProgress(0.999);
    EXPECT_EQ(tile::exportCardText(*item), "writing · 99%");
    item->setExportProgress(0.42);
    EXPECT_EQ(tile::exportCardText(*item), "writing · 42%");
}

TEST(TileRules, PictureChoice)
{
    using Kind = tile::Picture::Kind;
    auto item = itemAt("/photos/a.jpg");
    EXPECT_EQ(tile::chosenPicture(*item, false), tile::Picture{});

    item->setThumbnail(somePicture());
    item->setPhase(phase::Queued{});
    EXPECT_EQ(tile::chosenPicture(*item, false), (tile::Picture{Kind::thumbnail, 0.35}));
    item->setPhase(phase::Done{});
    EXPECT_EQ(tile::chosenPicture(*item, false), (tile::Picture{Kind::thumbnail, 1}));

    // Comparing never shows the developed preview: the original's, else the thumbnail.
    item->setPreviewImage(somePicture());
    EXPECT_EQ(tile::chosenPicture(*item, false).kind, Kind::developedPreview);
    EXPECT_EQ(tile::chosenPicture(*item, true).kind, Kind::thumbnail);
    item->setOriginalPreview(somePicture());
    EXPECT_EQ(tile::chosenPicture(*item, true).kind, Kind::originalPreview);
    EXPECT_TRUE(tile::pictureHandle(*item, tile::chosenPicture(*item, true)));

    // A result whose preview could not be made shows its developed copy, the original to compare.
    item->setResult(developedResult());
    item->setDevelopedThumbnail(somePicture());
    item->setPreviewImage(std::nullopt);
    EXPECT_EQ(tile::chosenPicture(*item, false).kind, Kind::developedThumbnail);
    EXPECT_EQ(tile::chosenPicture(*item, true).kind, Kind::originalPreview);
}

TEST(TileRules, DetailsLineFromSourceRecordOrNothing)
{
    SourceImage source;
    source.pixelWidth = 6000;
    source.pixelHeight = 4000;
    source.bitsPerComponent = 16;
    auto loaded = itemAt("/photos/a.b.c.jpg", source);
    EXPECT_EQ(tile::detailsLine(*loaded), "6000×4000 · 16-bit · " + source.profileLabel());
    EXPECT_EQ(tile::fileName(*loaded), "a.b.c.jpg");

    auto recorded = itemAt("/photos/b.jpg");
    EXPECT_EQ(tile::detailsLine(*recorded), "");
    recorded->original = OriginalRef{};
    recorded->original->pixels = {3000, 2000};
    EXPECT_EQ(tile::detailsLine(*recorded), "3000×2000");
    recorded->original->pixels = {3000};
    EXPECT_EQ(tile::detailsLine(*recorded), "");
}

TEST(TileRules, LightTrackNeedsAPlanWithinItsLimitAndTheOriginal)
{
    const float limit = TransferLimits{}.refineDivergenceLimit;
    auto item = itemAt("/photos/a.jpg");
    EXPECT_FALSE(tile::lightTrackEnabled(*item));
    item->setResult(developedResult({.divergence = std::nullopt}));
    EXPECT_FALSE(tile::lightTrackEnabled(*item)) << "no plan";
    item->setResult(developedResult({.divergence = limit + 0.01f}));
    EXPECT_FALSE(tile::lightTrackEnabled(*item)) << "above the limit";
    item->setResult(developedResult({.divergence = limit}));
    EXPECT_TRUE(tile::lightTrackEnabled(*item)) << "at the limit";
    item->setAvailability(Availability::offline("the disk is not connected"));
    EXPECT_FALSE(tile::lightTrackEnabled(*item));
    item->setAvailability(Availability::changed("the file has changed"));
    EXPECT_FALSE(tile::lightTrackEnabled(*item));
}

TEST(TileRules, ColourOnlyMarkerFollowsTheResultOnceThereIsOne)
{
    auto item = itemAt("/photos/a.jpg");
    EXPECT_FALSE(tile::showsColourOnlyMarker(*item));
    item->colourOnly = true;
    EXPECT_TRUE(tile::showsColourOnlyMarker(*item)) << "colour-only item without a result";
    item->setResult(developedResult());
    EXPECT_FALSE(tile::showsColourOnlyMarker(*item)) << "the result decides once there is one";
    item->setResult(developedResult({.colourOnly = true}));
    EXPECT_TRUE(tile::showsColourOnlyMarker(*item));
}

TEST(TileRules, SingleExportNamesAndFormats)
{
    auto item = itemAt("/photos/a.b.c.jpg");
    EXPECT_EQ(tile::proposedExportName(*item), "a.b.c-oxel.psd");
    item->setResult(developedResult({.colourOnly = true}));
    EXPECT_EQ(tile::proposedExportName(*item), "a.b.c-colour-only.psd");
    EXPECT_EQ(tile::proposedExportName(*itemAt("/photos/IMG_0412.CR3")), "IMG_0412-oxel.psd");
    EXPECT_EQ(tile::proposedExportName(*itemAt("/photos/scan")), "scan-oxel.psd");

    const std::pair<std::string, std::pair<std::string, ExportFormat>> cases[] = {
        {"/out/a.psd", {"/out/a.psd", ExportFormat::psd}},
        {"/out/a.PSD", {"/out/a.PSD", ExportFormat::psd}},
        {"/out/a.tif", {"/out/a.tif", ExportFormat::tiff}},
        {"/out/a.TIFF", {"/out/a.TIFF", ExportFormat::tiff}},
        {"/out/photo.jpg", {"/out/photo.jpg.psd", ExportFormat::psd}},
        {"/out/noextension", {"/out/noextension.psd", ExportFormat::psd}},
        {"/out/a.b.Tif", {"/out/a.b.Tif", ExportFormat::tiff}},
    };
    for (const auto& [chosen, expected] : cases) {
        const auto target = tile::layeredExportTarget(chosen);
        EXPECT_EQ(target, expected.first);
        EXPECT_EQ(tile::layeredExportFormat(target), expected.second) << chosen;
    }

    const ExportOptions options = tile::singleExportOptions("/out/a.tiff");
    EXPECT_EQ(options.format, ExportFormat::tiff);
    EXPECT_EQ(options.colour, ExportColour::embedded);
    EXPECT_TRUE(options.sixteenBit && options.tiffLayered && options.inheritCaptureDate);
}
