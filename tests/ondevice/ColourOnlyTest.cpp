#include "ondevice/ColourOnly.h"

#include "develop/codecs/JPEGEncoder.h"
#include "ondevice/NoLanguageModel.h"
#include "ondevice/OnDeviceTestSupport.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace oxel {
namespace {

using testing::gradientPicture;

Bitmap filled(int width, int height, std::array<uint8_t, 3> rgb)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBX8, ColourSpace::sRGB());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) std::copy(rgb.begin(), rgb.end(), bitmap.mutableRow(y) + x * 4);
    return bitmap;
}

void paint(Bitmap& bitmap, int x, int y, std::array<uint8_t, 3> rgb)
{
    std::copy(rgb.begin(), rgb.end(), bitmap.mutableRow(y) + x * 4);
}

TEST(ColourOnlyBlackAndWhite, AGreyPictureIsMonochromeAndAColourfulOneIsNot)
{
    EXPECT_TRUE(ColourOnly::isBlackAndWhite(gradientPicture(1872, 1248, true)));
    EXPECT_FALSE(ColourOnly::isBlackAndWhite(gradientPicture(1872, 1248)));
    EXPECT_TRUE(ColourOnly::isBlackAndWhite(filled(300, 200, {120, 123, 125})));
}

TEST(ColourOnlyBlackAndWhite, OneStrongSampleAmongFaintOnesMakesItColour)
{
    Bitmap faint = filled(64, 64, {100, 102, 104});
    EXPECT_TRUE(ColourOnly::isBlackAndWhite(faint));
    paint(faint, 10, 10, {100, 118, 100});
    EXPECT_FALSE(ColourOnly::isBlackAndWhite(faint));
}

TEST(ColourOnlyBlackAndWhite, ASmallPictureIsTestedAtItsOwnSizeOnEverySecondPixel)
{
    Bitmap picture = filled(10, 10, {90, 90, 90});
    for (int y = 1; y < 10; y += 2)
        for (int x = 0; x < 10; ++x) paint(picture, x, y, {250, 20, 20});
    EXPECT_TRUE(ColourOnly::isBlackAndWhite(picture));
    paint(picture, 8, 8, {250, 20, 20});
    EXPECT_FALSE(ColourOnly::isBlackAndWhite(picture));
}

TEST(ColourOnlyBlackAndWhite, APictureWithoutReadablePixelsCountsAsColour)
{
    EXPECT_FALSE(ColourOnly::isBlackAndWhite(Bitmap()));
    EXPECT_FALSE(ColourOnly::isBlackAndWhite(*Bitmap::allocate(8, 8, PixelFormat::RGBF)));
}

TEST(ColourOnlyScaling, SizesTheLongEdgeForTheModelAndNeverEnlarges)
{
    const auto large = ColourOnly::scaled(gradientPicture(4000, 3000), 1024);
    ASSERT_TRUE(large);
    EXPECT_EQ(large->width(), 1024);
    EXPECT_EQ(large->height(), 768);
    EXPECT_EQ(large->format(), PixelFormat::RGBX8);
    EXPECT_EQ(large->colourSpace(), ColourSpace::sRGB());
    const Bitmap small = gradientPicture(800, 600);
    EXPECT_EQ(ColourOnly::scaled(small, 1024)->data(), small.data());
    const auto thin = ColourOnly::scaled(gradientPicture(1, 5000), 1024);
    ASSERT_TRUE(thin);
    EXPECT_EQ(thin->width(), 1);
    EXPECT_EQ(thin->height(), 1024);
}

TEST(ColourOnlyAnalysis, ADeclineHasNoGradeKeyAndEveryAnalysisIsColourOnly)
{
    const auto declined = ColourOnly::analysisJSON(std::nullopt, false, "flat light", ColourOnly::leaveAsIs);
    ASSERT_TRUE(declined);
    const std::string text(declined->bytes.begin(), declined->bytes.end());
    EXPECT_EQ(text.find("\"grade\""), std::string::npos);
    EXPECT_TRUE(
        text.starts_with(R"({"colour_only":true,"descriptions":{"full_send":"this one's best left as it is",)"));
    EXPECT_EQ(declined->analysis->descriptions.original, "flat light");
    EXPECT_EQ(declined->analysis->grain.full_send, 0);
    EXPECT_FALSE(declined->analysis->grade);
}

TEST(ColourOnlyAnalysis, AGradeIsWrittenWithItsLookAndReadsBackTheSame)
{
    SuggestedGrade grade = GradeTheory::grade(*GradeTheory::cell("warm-quiet"), "warmer wood").scaled(0.8);
    grade.look = "warm-quiet";
    const auto document = ColourOnly::analysisJSON(grade, false, "lamp light", "warmer wood");
    ASSERT_TRUE(document && document->analysis->grade);
    EXPECT_EQ(*document->analysis->grade, grade);
    EXPECT_FALSE(document->analysis->gradeLookAlt);
    grade.look.reset();
    const auto lookless = ColourOnly::analysisJSON(grade, false, "", "");
    const std::string text(lookless->bytes.begin(), lookless->bytes.end());
    EXPECT_NE(text.find("\"look\":null"), std::string::npos);
}

TEST(ColourOnlyTexts, JobIdsAreLocalAndLowerCaseAndStrengthsShortest)
{
    const std::string id = ColourOnly::newJobId();
    EXPECT_TRUE(id.starts_with("local-"));
    EXPECT_EQ(id.size(), 42u);
    EXPECT_EQ(id.find_first_of("ABCDEF"), std::string::npos);
    EXPECT_NE(id, ColourOnly::newJobId());
    EXPECT_EQ(ColourOnly::strengthText(0.8), "0.8");
    EXPECT_EQ(ColourOnly::strengthText(1.0), "1.0");
    EXPECT_EQ(ColourOnly::strengthText(0.4), "0.4");
    EXPECT_EQ(ColourOnly::strengthText(0.1 + 0.2), "0.30000000000000004");
}

// Grading real files against the stand-in model server, on a virtual clock.
class ColourOnlyGradeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = std::make_unique<local::ModelServer>(testing::standInOptions(loop));
        ASSERT_TRUE(server->start());
        model = testing::clientOf(loop, server->baseURL());
        ASSERT_TRUE(testing::probed(loop, *model));
    }

    SourceImage original(const Bitmap& picture, const std::string& name = "picture.jpg")
    {
        const auto jpeg = encodeJPEG(picture, 92, ColourSpace::sRGB().icc);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
        return SourceImage::load(folder / name);
    }

    ColourOnlyGrade grade(const SourceImage& source, LanguageModel& with)
    {
        auto result = testing::awaited(
            loop, ColourOnly::grade(source, {}, false, ColourOnly::firstLook(0.5, true), {&with, &loop}));
        EXPECT_TRUE(result);
        return result ? *result : ColourOnlyGrade(ColourOnlyFailure::failed("stalled"));
    }
    ColourOnlyGrade grade(const SourceImage& source) { return grade(source, *model); }

    static const ColourOnlyResult& resultOf(const ColourOnlyGrade& graded)
    {
        static const ColourOnlyResult none;
        EXPECT_TRUE(std::holds_alternative<ColourOnlyResult>(graded)) << std::get<ColourOnlyFailure>(graded).text;
        return std::holds_alternative<ColourOnlyResult>(graded) ? std::get<ColourOnlyResult>(graded) : none;
    }

    static std::string analysisText(const ColourOnlyResult& result)
    {
        return {result.keep.analysis.begin(), result.keep.analysis.end()};
    }

    ManualLoop loop;
    testing::TemporaryFolder folder;
    std::unique_ptr<local::ModelServer> server;
    std::unique_ptr<ChatCompletionsModel> model;
};

TEST_F(ColourOnlyGradeTest, AColourPictureComesBackAsAGradedLocalResult)
{
    const auto graded = grade(original(gradientPicture(1200, 800)));
    const auto& result = resultOf(graded);
    ASSERT_TRUE(result.outcome);
    const JobOutcome& outcome = *result.outcome;
    EXPECT_TRUE(outcome.jobId.starts_with("local-"));
    EXPECT_TRUE(GradeTheory::cell(result.cell));
    EXPECT_GE(result.strength, 0.6);
    EXPECT_LE(result.strength, 1.0);
    EXPECT_FALSE(result.monochrome);
    EXPECT_TRUE(result.keep.render.empty());
    EXPECT_TRUE(result.keep.renderExtension.empty());

    const auto decoded = AnalysisResponse::decode(analysisText(result));
    ASSERT_TRUE(decoded && decoded->grade);
    EXPECT_EQ(decoded->grade->look, result.cell);
    EXPECT_NE(analysisText(result).find("\"colour_only\":true"), std::string::npos);
    ASSERT_TRUE(outcome.analysis);
    EXPECT_EQ(*outcome.analysis, *decoded);

    EXPECT_TRUE(outcome.colourOnly);
    EXPECT_EQ(outcome.grainLevel, 1);
    ASSERT_TRUE(outcome.looks);
    EXPECT_EQ(outcome.looks->chosen, *decoded->grade);
    EXPECT_FALSE(outcome.looks->alternative);
    EXPECT_EQ(outcome.lookThumbs.size(), 1u);
    ASSERT_TRUE(result.preview && result.original && outcome.picture);
    EXPECT_EQ(result.preview->width(), 1200);
    EXPECT_EQ(result.original->width(), outcome.picture->width());
    const auto stored = outcome.picture->bitmap();
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::memcmp(stored->data(), result.original->data(), result.original->byteCount()), 0);
    EXPECT_EQ(server->receivedCompletions().size(), 1u);
}

TEST_F(ColourOnlyGradeTest, AGreyPictureIsNeverSentAndIsLeftAsItIs)
{
    const auto graded = grade(original(gradientPicture(900, 600, true)));
    const auto& result = resultOf(graded);
    EXPECT_TRUE(server->receivedCompletions().empty());
    EXPECT_EQ(result.cell, "none");
    EXPECT_EQ(result.strength, 0);
    EXPECT_EQ(result.ms, 0);
    EXPECT_TRUE(result.monochrome);
    ASSERT_TRUE(result.outcome);
    EXPECT_TRUE(result.outcome->analysis->isBlackAndWhite);
    EXPECT_EQ(result.outcome->analysis->descriptions.full_send, ColourOnly::leaveAsIs);
    EXPECT_FALSE(result.outcome->looks);
    EXPECT_TRUE(result.outcome->lookThumbs.empty());
    EXPECT_EQ(result.outcome->grainLevel, 3);
}

TEST_F(ColourOnlyGradeTest, ADeclinedPictureHasNoGradeKey)
{
    local::ModelServer::Options options;
    options.decline = true;
    server->setOptions(options);
    const auto graded = grade(original(gradientPicture(900, 600)));
    const auto& result = resultOf(graded);
    EXPECT_EQ(result.cell, "none");
    EXPECT_EQ(result.strength, 0);
    EXPECT_FALSE(result.monochrome);
    EXPECT_EQ(analysisText(result).find("\"grade\""), std::string::npos);
    ASSERT_TRUE(result.outcome);
    EXPECT_FALSE(result.outcome->looks);
    EXPECT_FALSE(result.outcome->analysis->isBlackAndWhite);
}

TEST_F(ColourOnlyGradeTest, AServerGoneMidRunFailsThePictureAndPausesTheRest)
{
    const SourceImage source = original(gradientPicture(900, 600));
    server->stop();
    const auto first = grade(source);
    ASSERT_TRUE(std::holds_alternative<ColourOnlyFailure>(first));
    EXPECT_EQ(std::get<ColourOnlyFailure>(first).kind, ColourOnlyFailure::Kind::failed);
    const auto second = grade(source);
    ASSERT_TRUE(std::holds_alternative<ColourOnlyFailure>(second));
    EXPECT_EQ(std::get<ColourOnlyFailure>(second),
              ColourOnlyFailure::unavailable("model unavailable: the model server at " + server->baseURL() +
                                             " did not answer"));
}

TEST_F(ColourOnlyGradeTest, WithoutAModelOrAPictureNothingIsGraded)
{
    NoLanguageModel none;
    const SourceImage source = original(gradientPicture(600, 400));
    EXPECT_EQ(std::get<ColourOnlyFailure>(grade(source, none)),
              ColourOnlyFailure::unavailable("model unavailable: no model server is set up"));
    const SourceImage gone = original(gradientPicture(640, 400), "gone.jpg");
    std::filesystem::remove(folder / "gone.jpg");
    EXPECT_EQ(std::get<ColourOnlyFailure>(grade(gone)), ColourOnlyFailure::failed("could not read the picture"));
}

TEST_F(ColourOnlyGradeTest, AMistypedDraftFailsWithItsDescription)
{
    local::ModelServer::Options options;
    options.wrongTypes = true;
    server->setOptions(options);
    EXPECT_EQ(std::get<ColourOnlyFailure>(grade(original(gradientPicture(600, 400)))),
              ColourOnlyFailure::failed("the model's \"reading\" is not text"));
}

} // namespace
} // namespace oxel
