#include "SegmentationPictures.h"
#include "TinyModels.h"

#include "develop/PictureHelpers.h"

#include "develop/DevelopOrder.h"
#include "develop/grade/GradeLooks.h"
#include "develop/grade/GradeTheory.h"
#include "develop/segment/AreaAverage.h"
#include "develop/segment/EmbeddedModel.h"
#include "develop/segment/SelfieSegmenter.h"
#include "imaging/RenderContext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace oxel {
namespace {

using test::statistics;

class SelfieSegmenterTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (embeddedSegmentationModel().empty())
            GTEST_SKIP() << "this build has no segmentation model: run scripts/install-deps";
        auto loaded = SelfieSegmenter::standard();
        ASSERT_TRUE(loaded) << loaded.error().text();
        segmenter = *loaded;
    }

    Bitmap astronaut() const
    {
        auto picture = test::readRGBA(test::astronautPath);
        EXPECT_TRUE(picture) << "the astronaut picture comes with python3-skimage (scripts/install-deps)";
        return picture ? *picture : Bitmap();
    }

    std::shared_ptr<const SelfieSegmenter> segmenter;
};

TEST_F(SelfieSegmenterTest, LoadsTheBuiltInModelWithItsOperatorsFolded)
{
    EXPECT_EQ(embeddedSegmentationModel().size(), 249024u);
    EXPECT_EQ(segmenter->network().operatorCount(), 136u);
    EXPECT_LT(segmenter->network().scratchSize() * sizeof(float), size_t(5) << 20);
}

TEST_F(SelfieSegmenterTest, AgreesWithTheGoldenMaskOfAnIndependentRunner)
{
    const Bitmap picture = astronaut();
    ASSERT_FALSE(picture.isNull());
    const auto golden = test::readPNG(OXEL_TEST_DATA_DIR "/astronaut_person_mask.png");
    ASSERT_TRUE(golden && golden->width == 256 && golden->height == 256 && golden->channels == 1);
    const auto mask = segmenter->personMask(picture);
    ASSERT_TRUE(mask);
    ASSERT_EQ(mask->format(), PixelFormat::Gray8);
    ASSERT_EQ(mask->width(), 256);
    int largest = 0;
    double sum = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const int d = std::abs(int(mask->row(y)[x]) - int(golden->row(y)[x]));
            largest = std::max(largest, d);
            sum += d;
        }
    const double mean = sum / (256.0 * 256.0);
    RecordProperty("largestDifference", largest);
    RecordProperty("meanDifference", std::to_string(mean));
    EXPECT_LE(largest, 2);
    EXPECT_LE(mean, 0.01);
    // The portrait really is found: most of the mask is person where she is.
    EXPECT_GT(statistics(*mask).mean, 100);
}

TEST_F(SelfieSegmenterTest, FindsNoPersonInFlatPicturesOrWood)
{
    const std::pair<const char*, Bitmap> pictures[] = {
        {"grey", test::rgbaPicture(300, 200,
                                   [](int, int) {
                                       return std::array<int, 3>{128, 128, 128};
                                   })},
        {"black", test::rgbaPicture(300, 200,
                                    [](int, int) {
                                        return std::array<int, 3>{0, 0, 0};
                                    })},
        {"skin", test::rgbaPicture(300, 200,
                                   [](int, int) {
                                       return std::array<int, 3>{230, 180, 150};
                                   })},
        {"wood", test::woodTexture(640, 480)},
    };
    for (const auto& [name, picture] : pictures) {
        const auto mask = segmenter->personMask(picture);
        ASSERT_TRUE(mask) << name;
        const auto s = statistics(*mask);
        RecordProperty(std::string(name) + "MeanLargest", std::to_string(s.mean) + " " + std::to_string(s.largest));
        EXPECT_LT(s.mean, 3.0) << name;
    }
}

TEST_F(SelfieSegmenterTest, TakesWoodOutOfTheSkinMask)
{
    const Image wood = Image::fromBitmap(test::woodTexture(640, 480));
    const RenderContext context;
    const auto byColour = GradeLooks::skinMask(wood, context, nullptr);
    const auto onPeople = GradeLooks::skinMask(wood, context, segmenter.get());
    ASSERT_TRUE(byColour && onPeople);
    const auto mean = [&](const Image& mask) {
        auto bitmap = context.renderBitmap(mask, {0, 0, 640, 480}, PixelFormat::RGBA8);
        double sum = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) sum += bitmap->row(y)[4 * x];
        return sum / (640.0 * 480.0 * 255.0);
    };
    RecordProperty("byColourOnPeople", std::to_string(mean(*byColour)) + " " + std::to_string(mean(*onPeople)));
    EXPECT_GT(mean(*byColour), 0.8) << "the wood is skin-coloured";
    EXPECT_LT(mean(*onPeople), 0.02);
}

TEST_F(SelfieSegmenterTest, RefusesTruncationsOfTheBuiltInModel)
{
    const auto model = embeddedSegmentationModel();
    std::vector<size_t> sizes;
    for (size_t size = 0; size < 256; ++size) sizes.push_back(size);
    for (size_t size = 256; size < model.size(); size += 997) sizes.push_back(size);
    for (size_t size = model.size() - 64; size < model.size(); ++size) sizes.push_back(size);
    for (const size_t size : sizes) EXPECT_FALSE(segment::Network::load(model.first(size))) << "cut to " << size;
}

TEST_F(SelfieSegmenterTest, RefusesPicturesItCannotRead)
{
    EXPECT_FALSE(segmenter->personMask(Bitmap()));
    EXPECT_FALSE(segmenter->personMask(*Bitmap::allocate(8, 8, PixelFormat::RGBF)));
}

TEST_F(SelfieSegmenterTest, RunsFromSeveralThreadsAtOnce)
{
    const Bitmap picture = astronaut();
    ASSERT_FALSE(picture.isNull());
    const auto alone = segmenter->personMask(picture);
    ASSERT_TRUE(alone);
    std::vector<std::optional<Bitmap>> masks(4);
    std::vector<std::thread> threads;
    for (auto& mask : masks) threads.emplace_back([&] { mask = segmenter->personMask(picture); });
    for (auto& t : threads) t.join();
    for (const auto& mask : masks) {
        ASSERT_TRUE(mask);
        EXPECT_EQ(std::memcmp(mask->data(), alone->data(), alone->byteCount()), 0);
    }
}

TEST_F(SelfieSegmenterTest, DevelopHoldsSkinOnThePersonNotOnTheTableBesideHer)
{
    // The portrait on the left, a wooden table on the right.
    const Bitmap person = astronaut();
    ASSERT_FALSE(person.isNull());
    const Bitmap wood = test::woodTexture(512, 512);
    const Bitmap scene = test::rgbaPicture(1024, 512, [&](int x, int y) {
        const uint8_t* p = x < 512 ? person.row(y) + 4 * x : wood.row(y) + 4 * (x - 512);
        return std::array<int, 3>{p[0], p[1], p[2]};
    });
    const Image render = Image::fromBitmap(scene);
    DevelopInput outcome("job-1", render, DetailTransfer(render, render, ColourSpace::sRGB()));
    SuggestedGrade grade = GradeTheory::grade({GradeTheory::Temperature::cool, GradeTheory::Density::rich}, "");
    grade.gain = {0.8, 1.0, 1.25};
    grade.skinHold = 1;
    PersonSegmenter::install(segmenter);
    outcome.looks = GradeLooks{grade, std::nullopt, GradeLooks::skinMask(render, RenderContext())};
    PersonSegmenter::install(nullptr);
    ASSERT_TRUE(outcome.looks->mask);
    const Image developed = develop(outcome, {false, 1, 1, false});

    const RGB cheek = test::sampleAt(developed, 215, 150), cheekBefore = test::sampleAt(render, 215, 150);
    EXPECT_LT(std::abs(cheek.r - cheekBefore.r) + std::abs(cheek.b - cheekBefore.b), 0.03f) << "the face is held";
    const RGB table = test::sampleAt(developed, 800, 256), tableBefore = test::sampleAt(render, 800, 256);
    EXPECT_GT(std::abs(table.r - tableBefore.r) + std::abs(table.b - tableBefore.b), 0.1f) << "the table is graded";
}

TEST(SelfieSegmenterInstall, InstallsTheBuiltInModelOrSaysWhyNot)
{
    const bool installed = installSelfieSegmenter();
    EXPECT_EQ(installed, !embeddedSegmentationModel().empty());
    EXPECT_EQ(PersonSegmenter::installed() != nullptr, installed);
    PersonSegmenter::install(nullptr);
}

TEST(SegmentAreaAverage, WeighsPixelsByTheShareOfEachCellTheyCover)
{
    // Three pixels into two cells: each cell covers one and a half pixels.
    const Bitmap row = test::rgbaPicture(3, 1, [](int x, int) { return std::array<int, 3>{90 * x, 0, 255}; });
    const auto cells = segment::areaAverageRGB(row, 2, 1);
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_NEAR(cells[0] * 255, (0 + 90 * 0.5) / 1.5, 1e-3);
    EXPECT_NEAR(cells[3] * 255, (90 * 0.5 + 180) / 1.5, 1e-3);
    EXPECT_NEAR(cells[2], 1.0, 1e-6);
    // Enlarging repeats a pixel into every cell inside it.
    const auto enlarged = segment::areaAverageRGB(row, 6, 2);
    ASSERT_EQ(enlarged.size(), 36u);
    EXPECT_NEAR(enlarged[3 * 3] * 255, 90, 1e-3);
    EXPECT_NEAR(enlarged[(6 + 5) * 3] * 255, 180, 1e-3);
    EXPECT_TRUE(segment::areaAverageRGB(*Bitmap::allocate(3, 3, PixelFormat::RGB8), 2, 2).empty());
}

TEST(SelfieSegmenterModel, RefusesAModelOfAnotherShape)
{
    // A valid network that does not map 256 x 256 RGB to one mask.
    const auto other = test::everyOperatorModel().bytes();
    ASSERT_TRUE(segment::Network::load(other));
    const auto refused = SelfieSegmenter::fromModel(other);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().text().find("256 x 256"), std::string::npos);
    EXPECT_FALSE(SelfieSegmenter::fromModel({}));
}

} // namespace
} // namespace oxel
