#include "model/BatchSaver.h"

#include "async/MainExecutor.h"
#include "async/ManualLoop.h"
#include "library/KeptThumbnail.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A saver over a real library on a virtual clock, for a stored batch of two items with records.
class BatchSaverTest : public ::testing::Test {
protected:
    BatchSaverTest()
    {
        saver.storedBatch = [this] { return batch; };
        saver.restoring = [this] { return restoring; };
        saver.beforeSave = [this] { ++saves; };
        saver.saveBatchRecord = [this] { ++batchRecordWrites; };
        for (auto name : {"a.jpg", "b.jpg"}) {
            auto item = BatchItem::make(Uuid::random(), folder / name, Origin::opened, std::nullopt, std::nullopt);
            item->original.emplace().path = (folder / name).string();
            items.push_back(std::move(item));
        }
        saver.follow(items);
    }

    fs::path imageFolder(const BatchItem& item) const { return library.imageFolder(*batch, item.id); }
    bool recordWritten(const BatchItem& item)
    {
        library.drain();
        return fs::exists(imageFolder(item) / "image.json");
    }
    // A tile's picture made at these settings, with a preview that says when it is made.
    void showPicture(
        BatchItem& item, DevelopSettings madeAt = {}, std::function<void()> onMake = [] {})
    {
        item.setDevelopedCopy(BatchItem::DevelopedCopy::counting(
            *Bitmap::allocate(48, 36, PixelFormat::RGB8, ColourSpace::sRGB()), picture(std::move(onMake)), madeAt));
    }
    PictureHandle picture(std::function<void()> onMake = [] {})
    {
        return PictureHandle(PictureRecipe{64, 48, [onMake] {
                                               onMake();
                                               return Bitmap::allocate(64, 48, PixelFormat::RGB8, ColourSpace::sRGB());
                                           }});
    }

    ManualLoop loop;
    TemporaryFolder folder;
    LibraryStore library{LibraryStore::Environment{
        folder / "Library", [](const fs::path&) -> std::optional<std::string> { return {}; }, &loop}};
    BatchSaver saver{BatchSaver::Environment{&library}};
    std::optional<Uuid> batch = Uuid::random();
    bool restoring = false;
    int saves = 0;
    int batchRecordWrites = 0;
    std::vector<std::shared_ptr<BatchItem>> items;
};

TEST_F(BatchSaverTest, MarksGatherIntoOneSaveHalfASecondAfterTheLast)
{
    saver.mark(*items[0]);
    loop.advance(300ms);
    saver.markBatch();
    loop.advance(BatchSaver::saveDelay - 1ms);
    EXPECT_EQ(saves, 0);
    EXPECT_FALSE(recordWritten(*items[0]));
    loop.advance(1ms);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(batchRecordWrites, 1);
    EXPECT_TRUE(recordWritten(*items[0]));
    EXPECT_FALSE(recordWritten(*items[1]));
    EXPECT_TRUE(saver.dirty().empty());
    EXPECT_FALSE(saver.batchDirty());
    loop.advance(2s);
    EXPECT_EQ(saves, 1);
}

TEST_F(BatchSaverTest, HearsTheSteeringOfTheItemsItFollowsAndNothingElse)
{
    items[0]->setPhase(phase::Processing{"developing", std::nullopt});
    items[0]->setNote("a note");
    EXPECT_TRUE(saver.dirty().empty());
    items[0]->setStrengthOffset(-0.2);
    items[1]->setNudge("warmer", "");
    EXPECT_EQ(saver.dirty(), (std::set<Uuid>{items[0]->id, items[1]->id}));

    // While the batch is restored, before it is stored, or once the item left, its steering marks nothing.
    saver.saveNow();
    restoring = true;
    items[0]->setColourOffset(0.1);
    restoring = false;
    batch.reset();
    items[0]->setUseAlternative(true);
    batch = Uuid::random();
    saver.follow({items[1]});
    items[0]->setColourTouched(true);
    EXPECT_TRUE(saver.dirty().empty());
    items[1]->setColourTouched(true);
    EXPECT_EQ(saver.dirty(), std::set<Uuid>{items[1]->id});
}

TEST_F(BatchSaverTest, AnItemBeingStoredKeepsItsMarkUntilItsFilesAreThere)
{
    saver.beginStoring(items[0]->id);
    saver.mark(*items[0]);
    saver.saveNow();
    EXPECT_FALSE(recordWritten(*items[0]));
    EXPECT_TRUE(saver.marked(items[0]->id));
    EXPECT_EQ(batchRecordWrites, 1);
    saver.endStoring(items[0]->id);
    saver.saveNow();
    EXPECT_TRUE(recordWritten(*items[0]));
}

TEST_F(BatchSaverTest, ThumbnailsGoAMomentAfterTheirMarkAndLeaveTheBatchRecordAlone)
{
    showPicture(*items[0]);
    saver.markThumbnail(*items[0]);
    loop.advance(BatchSaver::thumbnailWriteDelay - 1ms);
    EXPECT_TRUE(saver.thumbDirty().contains(items[0]->id));
    loop.advance(1ms);
    library.drain();
    EXPECT_TRUE(saver.thumbDirty().empty());
    EXPECT_TRUE(fs::exists(imageFolder(*items[0]) / "thumb.jpg"));
    loop.advance(BatchSaver::saveDelay);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(batchRecordWrites, 0);
}

TEST_F(BatchSaverTest, AThumbnailIsTheTilesPictureNotedWithItsSettingsAndNeverMakesThePreview)
{
    std::atomic<int> previewsMade = 0;
    const DevelopSettings madeAt{true, 0.25, 0.5, false};
    showPicture(*items[0], madeAt, [&] { ++previewsMade; });
    saver.markThumbnail(*items[0]);
    saver.saveNow();
    library.drain();
    const fs::path thumb = imageFolder(*items[0]) / "thumb.jpg";
    EXPECT_EQ(KeptThumbnail::madeAt(thumb), madeAt);
    EXPECT_EQ(previewsMade, 0);
    // Written over by another program: no longer the picture noted.
    fs::copy_file(thumb, imageFolder(*items[0]) / "other.jpg");
    fs::rename(imageFolder(*items[0]) / "other.jpg", thumb);
    EXPECT_FALSE(KeptThumbnail::madeAt(thumb));
}

} // namespace
} // namespace oxel::testing
