#include "support/ModelFixture.h"

#include "library/InternetDate.h"

#include <fstream>
#include <sstream>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SavingTest : public ModelTest {
protected:
    void SetUp() override
    {
        makeModel();
        drop({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
        model->ensureBatchStored();
        library.drain();
    }
    fs::path batchFile() const { return library.batchFolder(model->batch()->id) / "batch.json"; }
    int batchWrites = 0;
};

TEST_F(SavingTest, StoringTheBatchWritesEveryImageOnceAndNamesItByDate)
{
    const auto& record = *model->batch();
    EXPECT_EQ(record.nameSource, BatchRecord::NameSource::date);
    EXPECT_FALSE(record.name.empty());
    EXPECT_FALSE(record.captured);
    EXPECT_EQ(record.account, std::to_string(account.userId));
    EXPECT_EQ(record.images.size(), 2u);
    EXPECT_TRUE(fs::exists(batchFile()));
    for (const auto& item : model->items()) {
        EXPECT_TRUE(fs::exists(imageFolder(*item) / "image.json"));
        EXPECT_TRUE(fs::exists(imageFolder(*item) / "original.jpg"));
    }
    const auto before = contents(batchFile());
    loop.advance(5s);
    model->ensureBatchStored();
    library.drain();
    EXPECT_EQ(contents(batchFile()), before);
}

TEST_F(SavingTest, OneDirtyItemRewritesItsRecordAndTheBatchWithANewDate)
{
    auto item = model->items()[1];
    fs::remove(imageFolder(*item) / "image.json");
    loop.advance(5s);
    model->saving().mark(*item);
    model->saveNow();
    library.drain();
    EXPECT_TRUE(fs::exists(imageFolder(*item) / "image.json"));
    EXPECT_EQ(InternetDate::format(model->batch()->updatedAt), InternetDate::format(loop.now()));
    EXPECT_NE(model->batch()->updatedAt, model->batch()->createdAt);
    EXPECT_NE(contents(batchFile()).find(InternetDate::format(loop.now())), std::string::npos);
}

TEST_F(SavingTest, BurstOfChangesGivesOneSaveHalfASecondAfterTheLast)
{
    auto connection = model->changed.connect([&](AppModel::Field field) {
        if (field == AppModel::Field::batch) ++batchWrites;
    });
    for (int i = 0; i < 10; ++i) {
        model->setGlobalNudge("nudge " + std::to_string(i));
        loop.advance(100ms);
    }
    EXPECT_EQ(batchWrites, 0);
    loop.advance(399ms);
    EXPECT_EQ(batchWrites, 0);
    loop.advance(2ms);
    EXPECT_EQ(batchWrites, 1);
    EXPECT_EQ(model->batch()->nudge, "nudge 9");
    loop.advance(2s);
    EXPECT_EQ(batchWrites, 1);
}

TEST_F(SavingTest, MostlyPortraitCountsASquareAsLandscape)
{
    model->newBatch();
    drop({writeJPEG("p1.jpg", 200, 300), writeJPEG("p2.jpg", 200, 300), writeJPEG("l1.jpg", 300, 200),
          writeJPEG("l2.jpg", 300, 200), writeJPEG("sq.jpg", 250, 250)});
    EXPECT_FALSE(model->mostlyPortrait());
    drop({writeJPEG("p3.jpg", 200, 300)});
    EXPECT_FALSE(model->mostlyPortrait()); // three each way
    drop({writeJPEG("p4.jpg", 200, 300)});
    EXPECT_TRUE(model->mostlyPortrait());
}

TEST_F(SavingTest, LightboxStepsWrapBothWays)
{
    const auto& items = model->items();
    model->setLightbox(items.front());
    model->stepLightbox(-1);
    EXPECT_EQ(model->lightbox(), items.back());
    model->stepLightbox(+1);
    EXPECT_EQ(model->lightbox(), items.front());
    model->setLightbox(nullptr);
    model->stepLightbox(1);
    EXPECT_FALSE(model->lightbox());
}

} // namespace
} // namespace oxel::testing
