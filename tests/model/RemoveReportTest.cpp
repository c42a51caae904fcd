#include "ExportFixture.h"

#include "platform/JsonFields.h"

#include <fstream>
#include <sstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

class RemoveReportTest : public ExportTest {
protected:
    Json storedBatch()
    {
        loop.advance(AppModel::saveDelay + std::chrono::milliseconds(50));
        library.drain();
        return jsonOf(library.batchFolder(model->batch()->id) / "batch.json").value_or(Json());
    }
};

TEST_F(RemoveReportTest, RemovingTakesThePictureAndItsFolderOutOfTheBatch)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    ASSERT_EQ(items.size(), 2u);
    const auto gone = imageFolder(*items[0]);
    ASSERT_TRUE(fs::exists(gone));
    model->setLightbox(items[0]);
    model->markDirty(*items[0]);
    model->remove(items[0]);
    EXPECT_EQ(model->items(), std::vector{items[1]});
    EXPECT_FALSE(model->lightbox());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    EXPECT_FALSE(model->dirty().contains(items[0]->id));
    EXPECT_FALSE(fs::exists(gone));
    const auto stored = storedBatch();
    ASSERT_EQ(stored["images"].size(), 1u);
    EXPECT_EQ(stored["images"][0], items[1]->id.text());
    EXPECT_FALSE(fs::exists(gone)) << "a queued write brought the folder back";
    EXPECT_TRUE(fs::exists(folder / "a.jpg")) << "the original is never touched";

    model->remove(items[1]);
    EXPECT_TRUE(model->items().empty());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
}

TEST_F(RemoveReportTest, OnlyABackendResultOfASignedInAccountHasAReportTarget)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    drop({writeJPEG("fresh.jpg")});
    ASSERT_EQ(model->items().size(), 4u);
    makeColourOnly(*items[1]);
    giveJobId(*items[2], "local-123");

    auto target = model->reportTarget(*items[0]);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->jobId, items[0]->result()->jobId);
    EXPECT_EQ(target->userId, std::to_string(account.userId));
    EXPECT_FALSE(model->reportTarget(*items[1]));
    EXPECT_FALSE(model->reportTarget(*items[2]));
    EXPECT_FALSE(model->reportTarget(*model->items()[3]));
    giveJobId(*items[2], "");
    EXPECT_FALSE(model->reportTarget(*items[2]));

    signOut();
    makeModel();
    EXPECT_FALSE(model->reportTarget(*items[0]));
}

TEST_F(RemoveReportTest, RemovingBeforeTheBatchIsStoredTouchesNoLibrary)
{
    drop({writeJPEG("a.jpg")});
    ASSERT_FALSE(model->batch());
    model->remove(model->items()[0]);
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->batch());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
}

} // namespace
} // namespace oxel::testing
