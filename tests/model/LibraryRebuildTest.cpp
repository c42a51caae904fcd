#include "LibraryFixture.h"

#include "backend/AnalysisResponse.h"
#include "ondevice/ColourOnly.h"
#include "platform/ProcessMemory.h"
#include "support/PictureFiles.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

test::Pattern sceneOf(int width, int height, int seed)
{
    return [=](int x, int y, int c) {
        const double u = double(x) / width, v = double(y) / height;
        const double disc = std::hypot(u - 0.3 - 0.05 * seed, v - 0.5) < 0.2 ? 0.5 : 0.0;
        const double bars = std::sin((u * (3 + 2 * seed) + v * 2) * 10.0) > 0.2 ? 0.3 : 0.0;
        return std::clamp(0.1 + disc + bars + 0.04 * c, 0.0, 1.0);
    };
}

SuggestedGrade warmGrade()
{
    SuggestedGrade grade;
    grade.brief = "warm";
    grade.gain = {1.1, 1.0, 0.9};
    grade.saturation = 1.2;
    return grade;
}

class LibraryRebuildTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        fs::create_directories(imageFolder);
        const auto original = folder / "original.jpg";
        test::writeFile(original, test::encodeJPEG(600, 400, sceneOf(600, 400, 1)));
        source = SourceImage::load(original);
        writeRender(1);
        record.jobId = "job-42";
        record.renderFile = "render.jpg";
        record.state = ImageRecord::State::done;
    }
    void writeRender(int seed)
    {
        test::writeFile(imageFolder / "render.jpg", test::encodeJPEG(600, 400, sceneOf(600, 400, seed)));
    }
    void writeAnalysis(const AnalysisResponse& analysis)
    {
        Json json;
        to_json(json, analysis);
        std::ofstream(imageFolder / "analysis.json", std::ios::trunc) << json.dump();
    }
    std::optional<RebuiltResult> rebuilt(const DevelopSettings& settings = {})
    {
        return renderFromLibrary(record, *source, imageFolder, TransferLimits{}, settings);
    }

    fs::path imageFolder = folder / "images" / "one";
    std::optional<SourceImage> source;
    ImageRecord record;
};

TEST_F(LibraryRebuildTest, ABackendResultComesBackAsDelivered)
{
    struct Case {
        const char* what;
        int64_t fullSendGrain;
        std::optional<bool> grainBaked;
        std::optional<std::string> jobId;
        bool graded;
        int grainLevel;
        bool expectedBaked;
        std::string expectedJob;
    };
    const Case cases[] = {
        {"grain 0", 0, std::nullopt, "job-42", false, 1, true, "job-42"},
        {"grain 7", 7, false, "job-42", true, 3, false, "job-42"},
        {"no job id", 2, true, std::nullopt, false, 2, true, ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        AnalysisResponse analysis;
        analysis.grain.full_send = test.fullSendGrain;
        if (test.graded) analysis.grade = warmGrade();
        writeAnalysis(analysis);
        record.grainBaked = test.grainBaked;
        record.jobId = test.jobId;
        const auto result = rebuilt();
        ASSERT_TRUE(result);
        const auto& outcome = *result->outcome;
        EXPECT_EQ(outcome.grainLevel, test.grainLevel);
        EXPECT_EQ(outcome.grainBaked, test.expectedBaked);
        EXPECT_EQ(outcome.jobId, test.expectedJob);
        EXPECT_FALSE(outcome.colourOnly);
        EXPECT_TRUE(outcome.previewPlan);
        EXPECT_FALSE(outcome.planDecline);
        EXPECT_EQ(outcome.looks.has_value(), test.graded);
        EXPECT_EQ(outcome.lookThumbs.empty(), !test.graded);
        EXPECT_EQ(result->preview.width(), 600);
        EXPECT_FALSE(result->original.isNull());
    }
}

TEST_F(LibraryRebuildTest, ARenderOfAnotherSceneKeepsTheDeclineAndNoPlan)
{
    writeAnalysis({});
    test::writeFile(imageFolder / "render.jpg",
                    test::encodeJPEG(600, 400, [](int x, int y, int) { return ((x / 40 + y / 40) % 2) ? 0.9 : 0.1; }));
    const auto result = rebuilt();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->outcome->previewPlan);
    ASSERT_TRUE(result->outcome->planDecline);
    EXPECT_FALSE(result->outcome->planDecline->empty());
}

TEST_F(LibraryRebuildTest, MissingDamagedOrPlantedFilesRebuildNothing)
{
    writeAnalysis({});
    ASSERT_TRUE(rebuilt());
    const auto render = test::readFile(imageFolder / "render.jpg");

    std::ofstream(imageFolder / "analysis.json", std::ios::trunc) << "{\"grain\": ";
    EXPECT_FALSE(rebuilt()) << "corrupt analysis";
    fs::remove(imageFolder / "analysis.json");
    EXPECT_FALSE(rebuilt()) << "missing analysis";
    fs::create_symlink(folder / "elsewhere.json", imageFolder / "analysis.json");
    std::ofstream(folder / "elsewhere.json") << "{}";
    EXPECT_FALSE(rebuilt()) << "an analysis that links out of the folder";
    fs::remove(imageFolder / "analysis.json");
    writeAnalysis({});
    fs::rename(imageFolder, folder / "copy");
    fs::create_directory_symlink(folder / "copy", imageFolder);
    EXPECT_FALSE(rebuilt()) << "an image folder that links to a whole copy";
    fs::remove(imageFolder);
    fs::rename(folder / "copy", imageFolder);

    test::writeFile(imageFolder / "render.jpg", test::Bytes(render.begin(), render.begin() + long(render.size() / 2)));
    EXPECT_FALSE(rebuilt()) << "truncated render";
    fs::remove(imageFolder / "render.jpg");
    EXPECT_FALSE(rebuilt()) << "missing render";
    test::writeFile(folder / "images" / "render.jpg", render);
    record.renderFile = "../render.jpg";
    EXPECT_FALSE(rebuilt()) << "a render outside the folder";
    record.renderFile.reset();
    EXPECT_FALSE(rebuilt()) << "no render";
}

// A render comes back at the size its original was sent at: one planted far larger is refused
// before it is decoded, one twice that size is still read.
TEST_F(LibraryRebuildTest, APlantedGiantRenderIsRefusedUnread)
{
    writeAnalysis({});
    record.renderFile = "render.png";
    const auto flat = [](int, int, int) { return 0.5; };
    test::PNGOptions grey;
    grey.channels = 1;
    test::writeFile(imageFolder / "render.png", test::encodePNG(12000, 12000, flat, grey));
    resetResidentPeak();
    const size_t before = residentBytes();
    EXPECT_FALSE(rebuilt());
    const size_t grown = residentPeakBytes() - before;
    EXPECT_LT(grown, size_t(60) << 20) << "the restore took " << (grown >> 20) << " MB";

    test::writeFile(imageFolder / "render.png", test::encodePNG(1200, 800, sceneOf(1200, 800, 1)));
    EXPECT_TRUE(rebuilt());
}

TEST_F(LibraryRebuildTest, AColourOnlyResultIsGradedAgainAsItWasFirst)
{
    record.mode = ImageRecord::Mode::colour;
    record.renderFile.reset();
    record.jobId = "local-7";
    for (const bool blackAndWhite : {true, false}) {
        SCOPED_TRACE(blackAndWhite);
        AnalysisResponse analysis;
        analysis.isBlackAndWhite = blackAndWhite;
        if (!blackAndWhite) analysis.grade = warmGrade();
        writeAnalysis(analysis);
        const auto result = rebuilt({.alternative = true, .strength = 0.4, .colour = 0.7});
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->outcome->colourOnly);
        EXPECT_EQ(result->outcome->grainLevel, blackAndWhite ? 3 : 1);
        EXPECT_EQ(result->outcome->jobId, "local-7");

        // The first grade's own builder, from the same analysis bytes.
        const auto bytes = test::readFile(imageFolder / "analysis.json");
        ColourOnly::AnalysisDocument document{
            std::make_shared<const AnalysisResponse>(
                *AnalysisResponse::decode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))),
            bytes};
        const auto first =
            ColourOnly::previews(*source, "local-7", document, TransferLimits{}, ColourOnly::firstLook(0.7, true));
        ASSERT_TRUE(first.preview);
        const auto again = result->preview.bitmap();
        ASSERT_TRUE(again);
        ASSERT_EQ(again->width(), first.preview->width());
        ASSERT_EQ(again->height(), first.preview->height());
        ASSERT_EQ(again->format(), first.preview->format());
        const size_t rowLength =
            size_t(again->width()) * size_t(channelCount(again->format())) * size_t(bytesPerSample(again->format()));
        for (int64_t y = 0; y < again->height(); ++y)
            ASSERT_EQ(std::memcmp(again->row(y), first.preview->row(y), rowLength), 0) << y;
    }
}

class RebuiltNotesTest : public LibraryTest {};

TEST_F(RebuiltNotesTest, AnUnmatchedRenderShowsTheRenderAndSaysSo)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    const auto image = model->library().load(id)->images.at(0);
    const auto render = imageFolder(id, image.id) / *image.renderFile;
    const auto size = SourceImage::load(render);
    test::writeFile(render, test::encodePNG(int(size.pixelWidth), int(size.pixelHeight),
                                            [](int x, int y, int) { return ((x / 30 + y / 30) % 2) ? 0.9 : 0.1; }));
    openAndRestore(id);
    const auto& item = model->items().at(0);
    ASSERT_TRUE(item->result());
    EXPECT_FALSE(item->result()->previewPlan);
    EXPECT_EQ(item->note(), "could not match the render to the original · showing the render");
    EXPECT_TRUE(item->phase().is<phase::Done>());
}

} // namespace
} // namespace oxel::testing
