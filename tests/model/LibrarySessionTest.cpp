#include "LibraryFixture.h"

#include "develop/DevelopOrder.h"
#include "develop/SourceCache.h"
#include "imaging/PictureCache.h"
#include "library/JobFailure.h"
#include "library/KeptThumbnail.h"
#include "model/LibraryRebuild.h"
#include "ondevice/OnDeviceTestSupport.h"
#include "platform/JsonFields.h"
#include "platform/ProcessMemory.h"
#include "support/SamePixels.h"
#include "support/VirtualClockBackend.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every file under a folder with its size and modification time.
std::map<fs::path, std::pair<uintmax_t, fs::file_time_type>> snapshot(const fs::path& folder)
{
    std::map<fs::path, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path()] = {entry.file_size(), entry.last_write_time()};
    return files;
}

void touch(const fs::path& file, std::chrono::seconds later)
{
    fs::last_write_time(file, fs::last_write_time(file) + later);
}

class OpeningTest : public LibraryTest {};

TEST_F(OpeningTest, APlantedGiantThumbnailIsRefusedUnreadAndTheOriginalsCopyStandsIn)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400), writeJPEG("b.jpg", 600, 400)});
    const fs::path giant = writeJPEG("giant.jpg", 6000, 4000);
    const auto stored = model->library().load(id);
    ASSERT_TRUE(stored);
    for (const Uuid& image : stored->record.images)
        fs::copy_file(giant, model->library().imageFolder(id, image) / "thumb.jpg",
                      fs::copy_options::overwrite_existing);
    model->newBatch();
    runIdle();

    resetResidentPeak();
    const size_t before = residentBytes();
    openAndRestore(id);
    const size_t grown = residentPeakBytes() - before;
    EXPECT_LT(grown, size_t(60) << 20) << "opening took " << (grown >> 20) << " MB";
    ASSERT_EQ(model->items().size(), 2u);
    for (const auto& item : model->items()) {
        ASSERT_TRUE(item->thumbnail());
        EXPECT_LE(std::max(item->thumbnail()->width(), item->thumbnail()->height()), AppModel::originalCopyPixels);
    }
}

TEST_F(OpeningTest, AKeptThumbnailIsDecodedReducedToItsSizeAndRefusedWhenFarLarger)
{
    const auto fits = keptPicture(writeJPEG("fits.jpg", 1024, 683), "", 1024);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->width(), 1024);
    const auto larger = keptPicture(writeJPEG("larger.jpg", 2048, 1366), "", 1024);
    ASSERT_TRUE(larger);
    EXPECT_EQ(larger->width(), 1024);
    EXPECT_FALSE(keptPicture(writeJPEG("giant.jpg", 2056, 1366), "", 1024));
    EXPECT_TRUE(keptPicture(folder / "giant.jpg", "", 1366, KeptDecode::whole));
}

TEST_F(OpeningTest, AReopenedItemsThumbnailIsMadeAgainAfterTheLightMoveRewroteIt)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    openAndRestore(id);
    const fs::path thumb = imageFolder(id, model->items()[0]->id) / "thumb.jpg";
    const auto before = FileState::of(thumb);
    model->setGlobalStrength(0.2);
    runUntil([&] { return FileState::of(thumb) != before; });
    ASSERT_NE(FileState::of(thumb), before);
    PictureCache::shared().clear();
    EXPECT_TRUE(model->items()[0]->thumbnail()->pin());
}

TEST_F(OpeningTest, AKeptThumbnailStandsInOnlyWhileItIsTheFileNotedAtTheItemsSettings)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400), writeJPEG("b.jpg", 900, 400)});
    const auto images = loadedBatch(id).record.images;
    ASSERT_EQ(images.size(), 2u);
    const fs::path swapped = imageFolder(id, images[0]) / "thumb.jpg", moved = imageFolder(id, images[1]) / "thumb.jpg";
    openAndRestore(id);
    for (const auto& item : model->items()) EXPECT_TRUE(item->developedThumbnail());
    model->newBatch();
    runIdle();
    // Another photograph's thumbnail put in place of one, and a light moved on the other with the
    // program ended before its thumbnail was written again.
    fs::copy_file(moved, swapped, fs::copy_options::overwrite_existing);
    auto record = storedImage(id, images[1]);
    record.strengthOffset = -0.5;
    storeImage(id, record);
    openAndRestore(id);
    for (const auto& item : model->items()) {
        EXPECT_FALSE(item->developedThumbnail()) << "a thumbnail that is not the item's picture";
        ASSERT_TRUE(item->developedCopy());
        EXPECT_TRUE(model->previews().copyIsNewest(*item));
    }
    EXPECT_EQ(KeptThumbnail::madeAt(moved), model->developSettings(*model->items()[1])) << "written again";
    EXPECT_TRUE(KeptThumbnail::madeAt(swapped));
}

TEST_F(OpeningTest, TheOpenBatchAgainDoesNothingNotEvenAReload)
{
    const auto id = storedBatch({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    openAndRestore(id);
    const auto items = model->items();
    const auto generation = model->batchGeneration();
    int changes = 0;
    auto connection = model->changed.connect([&](AppModel::Field) { ++changes; });
    model->openBatch(id);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(model->items(), items);
    EXPECT_EQ(model->batchGeneration(), generation);
}

TEST_F(OpeningTest, WithNothingLoadedNoNewBatchIsStarted)
{
    const auto id = storedBatch({writeJPEG("a.jpg")});
    makeModel();
    model->setGlobalNudge("only on this model");
    const auto generation = model->batchGeneration();
    model->openBatch(id);
    // A new batch would have been counted too.
    EXPECT_EQ(model->batchGeneration(), generation + 1);
    EXPECT_EQ(model->batch()->id, id);
    EXPECT_EQ(model->items().size(), 1u);
}

TEST_F(OpeningTest, AFileStillReadingWhenABatchOpensComesInWhenDroppedAgain)
{
    const auto id = storedBatch({writeJPEG("a.jpg")});
    const auto late = writeJPEG("late.jpg");
    model->addDropped({late}); // read back on the main thread's next turn, after the opening
    model->openBatch(id);
    runImports();
    drop({late});
    EXPECT_EQ(model->items().size(), 2u);
}

TEST_F(OpeningTest, AnUnreadableBatchLeavesAnEmptyBatchAndSaysSo)
{
    const auto id = storedBatch({writeJPEG("a.jpg")});
    std::ofstream(model->library().batchFolder(id) / "batch.json") << "{\"id\": 3";
    drop({writeJPEG("loaded.jpg")});
    model->openBatch(id);
    EXPECT_EQ(model->statusLine(), "could not read that batch");
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->batch());
}

TEST_F(OpeningTest, AMissingThumbnailShowsTheOriginalCopyWhileTheItemRestores)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    const auto image = model->library().load(id)->images.at(0).id;
    fs::remove(imageFolder(id, image) / "thumb.jpg");
    model->openBatch(id);
    ASSERT_EQ(model->items().size(), 1u);
    const auto& item = model->items()[0];
    ASSERT_TRUE(item->thumbnail());
    EXPECT_EQ(item->thumbnail()->width(), 512);
    EXPECT_TRUE(item->phase().is<phase::Restoring>());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);

    // The rebuilt result makes the thumbnail again at the next save.
    runIdle();
    EXPECT_TRUE(item->result());
    EXPECT_TRUE(fs::exists(imageFolder(id, image) / "thumb.jpg"));

    // A thumbnail planted as a link to a picture elsewhere is not read.
    model->newBatch();
    runIdle();
    fs::remove(imageFolder(id, image) / "thumb.jpg");
    fs::create_symlink(writeJPEG("elsewhere.jpg", 800, 600), imageFolder(id, image) / "thumb.jpg");
    model->openBatch(id);
    ASSERT_TRUE(model->items().at(0)->thumbnail());
    EXPECT_EQ(model->items().at(0)->thumbnail()->width(), 512);
    runIdle();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(imageFolder(id, image) / "thumb.jpg")));
}

TEST_F(OpeningTest, TheRecordsLookIsTakenAndTheStandingLookLeftAlone)
{
    model->setGlobalNudge("golden hour");
    model->setGlobalStrength(0.6);
    model->saveStanding();
    const auto id = storedBatch({writeJPEG("a.jpg")});
    model->setGlobalNudge("blue morning");
    model->setGlobalStrength(0.3);
    model->saveStanding();

    model->openBatch(id);
    EXPECT_EQ(model->globalNudge(), "golden hour");
    EXPECT_DOUBLE_EQ(model->globalStrength(), 0.6);
    EXPECT_EQ(defaults().stringValue("standingNudge"), "blue morning");
    EXPECT_EQ(defaults().doubleValue("standingLight"), 0.3);
    EXPECT_TRUE(model->saving().dirty().empty());
    EXPECT_FALSE(model->saving().batchDirty());
}

class RestoreTest : public LibraryTest {};

TEST_F(RestoreTest, TenItemsRestoreFourAtATimeAndSaveOnceAfterTheLast)
{
    std::vector<fs::path> files;
    // Appended rather than a literal plus a temporary string, which GCC 12 wrongly warns may overlap.
    for (int i = 0; i < 10; ++i) files.push_back(writeJPEG(std::string("p").append(std::to_string(i)).append(".jpg")));
    const auto id = storedBatch(files);
    // Each original was touched, so each item is found with a new stamp and written again.
    for (const auto& file : files) touch(file, 30s);

    model->openBatch(id);
    std::set<Uuid> started;
    int active = 0, most = 0, saves = 0;
    bool savedBeforeTheEnd = false;
    std::vector<Connection> connections;
    for (const auto& item : model->items()) {
        connections.push_back(item->changed.connect([&, raw = item.get()](BatchItem::Field field) {
            if (field == BatchItem::Field::source && started.insert(raw->id).second) most = std::max(most, ++active);
            if (field == BatchItem::Field::thumbnail && started.count(raw->id)) --active;
        }));
    }
    auto batchWrites = model->changed.connect([&](AppModel::Field field) {
        if (field != AppModel::Field::batch) return;
        ++saves;
        savedBeforeTheEnd = savedBeforeTheEnd || started.size() < 10 || active != 0;
    });
    runIdle();
    EXPECT_EQ(started.size(), 10u);
    EXPECT_LE(most, AppModel::mostRestoresAtOnce);
    EXPECT_GE(most, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(savedBeforeTheEnd);
    for (const auto& item : model->items()) {
        EXPECT_TRUE(item->phase().is<phase::Ready>());
        EXPECT_EQ(item->original->stamp, FileStamp::of(item->url()));
        const auto stored = storedImage(id, item->id).original.stamp;
        ASSERT_TRUE(stored);
        EXPECT_TRUE(stored->agreesWith(*item->original->stamp));
    }
}

TEST_F(RestoreTest, AnImageWithoutItsRecordIsLeftAsOpeningMadeIt)
{
    const auto id = storedBatch({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    // A second record of the first image, as a damaged folder might list it: the first wins.
    auto record = *model->library().load(id);
    record.record.images.push_back(record.record.images.front());
    model->library().saveBatch(record.record);
    openAndRestore(id);
    ASSERT_EQ(model->items().size(), 2u);
    for (const auto& item : model->items()) {
        EXPECT_TRUE(item->source());
        EXPECT_TRUE(item->phase().is<phase::Ready>());
    }
}

TEST_F(RestoreTest, AFinishedItemOnADiskNotConnectedKeepsItsThumbnailAndSaysWhere)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    auto record = model->library().load(id)->images.at(0);
    record.original.path = "/media/OXEL-TEST-CARD/DCIM/a.jpg";
    record.original.volume = "OXEL-TEST-CARD";
    record.original.bookmark.reset();
    storeImage(id, record);
    openAndRestore(id);
    const auto& item = model->items().at(0);
    EXPECT_TRUE(item->phase().is<phase::Done>());
    EXPECT_FALSE(item->result());
    EXPECT_TRUE(item->thumbnail());
    EXPECT_EQ(item->availability(), Availability::offline("offline · on OXEL-TEST-CARD, not connected"));
}

TEST_F(RestoreTest, KeptFilesThatCannotBeReadBackGiveTheirNote)
{
    const auto id =
        developedBatch({writeJPEG("a.jpg", 600, 400), writeJPEG("b.jpg", 600, 400), writeJPEG("c.jpg", 600, 400)});
    const auto images = model->library().load(id)->images;
    fs::remove(imageFolder(id, images[0].id) / "analysis.json");
    std::ofstream(imageFolder(id, images[1].id) / "analysis.json") << "[1, 2";
    const auto render = imageFolder(id, images[2].id) / *images[2].renderFile;
    fs::resize_file(render, fs::file_size(render) / 2);
    openAndRestore(id);
    for (const auto& item : model->items()) {
        EXPECT_TRUE(item->phase().is<phase::Done>());
        EXPECT_FALSE(item->result());
        EXPECT_EQ(item->note(), "could not rebuild this result from the library");
    }
}

TEST_F(RestoreTest, ADoneRecordWithoutARenderComesBackReadyWithAFreshThumbnail)
{
    const auto id = storedBatch({writeJPEG("a.jpg", 600, 400)});
    auto record = model->library().load(id)->images.at(0);
    record.state = ImageRecord::State::done;
    storeImage(id, record);
    model->openBatch(id);
    const auto item = model->items().at(0);
    ASSERT_TRUE(item->thumbnail());
    EXPECT_EQ(item->thumbnail()->width(), 512);
    runIdle();
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    EXPECT_EQ(item->thumbnail()->width(), 600);
}

TEST_F(RestoreTest, AResultRestoredWhileItsControlsMovedIsDevelopedAgain)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400), writeJPEG("b.jpg", 600, 400)});
    model->openBatch(id);
    std::map<Uuid, int> pictures;
    std::vector<Connection> connections;
    for (const auto& item : model->items())
        connections.push_back(item->changed.connect([&, id = item->id](BatchItem::Field field) {
            if (field == BatchItem::Field::developedCopy) ++pictures[id];
        }));
    const auto moved = model->items()[1];
    ASSERT_TRUE(runUntil([&] { return moved->source().has_value(); }));
    moved->setStrengthOffset(-0.5);
    runIdle();
    EXPECT_EQ(pictures[model->items()[0]->id], 1);
    ASSERT_TRUE(moved->developedCopy());
    EXPECT_EQ(moved->developedCopy()->madeAt, model->developSettings(*moved));
}

TEST_F(RestoreTest, ARestoredResultIsDevelopedOnlyWhenAViewFirstAsksForIt)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    // The record keeps what planning found at delivery; the plan itself is made again only
    // when a picture is developed, and a record written before it was kept is planned at once.
    const Uuid imageId = model->library().load(id)->images.at(0).id;
    ImageRecord record = storedImage(id, imageId);
    ASSERT_TRUE(record.planVerdict() && record.planVerdict()->matched);
    const PlanVerdict delivered = *record.planVerdict();
    model->openBatch(id);
    runIdle();
    const auto item = model->items().at(0);
    ASSERT_TRUE(item->result() && item->previewImage() && item->originalPreview());
    EXPECT_EQ(item->result()->previewPlan.verdict(), delivered);
    EXPECT_FALSE(item->previewImage()->heldPin());
    EXPECT_FALSE(item->originalPreview()->heldPin());

    const auto preview = item->previewImage()->bitmap();
    const auto original = item->originalPreview()->bitmap();
    ASSERT_TRUE(preview && original);
    EXPECT_EQ(preview->width(), item->previewImage()->width());
    EXPECT_EQ(preview->height(), item->previewImage()->height());
    EXPECT_EQ(original->width(), item->originalPreview()->width());
    EXPECT_EQ(original->height(), item->originalPreview()->height());
    const auto developed = renderDeveloped(*item->result(), model->developSettings(*item));
    ASSERT_TRUE(developed);
    EXPECT_TRUE(samePixels(*developed, *preview));

    model->newBatch();
    record.setPlanVerdict(std::nullopt);
    storeImage(id, record);
    openAndRestore(id);
    const auto planned = model->items().at(0);
    ASSERT_TRUE(planned->previewImage());
    const auto plannedAtOnce = planned->previewImage()->bitmap();
    ASSERT_TRUE(plannedAtOnce);
    EXPECT_TRUE(samePixels(*plannedAtOnce, *preview));
    EXPECT_EQ(planned->planVerdict, delivered) << "kept for the next save";
}

class StaleRestoreTest : public LibraryTest {};

TEST_F(StaleRestoreTest, OpeningAnotherBatchKeepsEveryLateAnswerOffBothBatches)
{
    // A: two developed items and one whose job was still running when it was left.
    drop({writeJPEG("a1.jpg", 600, 400), writeJPEG("a2.jpg", 600, 400)});
    model->process();
    ASSERT_TRUE(runUntil([&] {
        return std::all_of(model->items().begin(), model->items().end(),
                           [](const auto& item) { return item->phase().template is<phase::Done>(); });
    }));
    runIdle();
    drop({writeJPEG("a3.jpg", 600, 400)});
    model->process();
    const auto running = model->items().back();
    ASSERT_TRUE(runUntil([&] { return running->jobId().has_value(); }));
    const std::string jobId = *running->jobId();
    const auto a = model->batch()->id;
    model->newBatch();
    const auto b = storedBatch({writeJPEG("b1.jpg")});

    model->openBatch(a);
    const auto oldItems = model->items();
    // Let the first items get past their checks, then leave.
    ASSERT_TRUE(runUntil([&] { return oldItems[2]->source().has_value(); }));
    model->openBatch(b);
    std::vector<bool> hadResult;
    for (const auto& item : oldItems) hadResult.push_back(item->result() != nullptr);
    model->library().drain();
    const auto filesOfA = snapshot(model->library().batchFolder(a));
    const auto filesOfB = snapshot(model->library().batchFolder(b));
    const auto jobPosts = requestsTo("/jobs").size();

    runIdle();
    loop.advance(30s);
    runIdle();
    for (size_t i = 0; i < oldItems.size(); ++i) EXPECT_EQ(oldItems[i]->result() != nullptr, hadResult[i]);
    for (const auto& item : model->items()) {
        EXPECT_FALSE(item->result());
        EXPECT_TRUE(item->phase().is<phase::Ready>());
    }
    EXPECT_FALSE(model->runner().isPending(running->id));
    EXPECT_FALSE(model->runner().isRunning(running->id));
    EXPECT_FALSE(backend.state().job(jobId)->delivered);
    EXPECT_EQ(requestsTo("/jobs").size(), jobPosts);
    EXPECT_EQ(snapshot(model->library().batchFolder(a)), filesOfA);
    EXPECT_EQ(snapshot(model->library().batchFolder(b)), filesOfB);
}

TEST_F(StaleRestoreTest, AnItemRemovedWhileItRestoresGetsNothingAndNoFolderAgain)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400), writeJPEG("b.jpg", 600, 400)});
    model->openBatch(id);
    const auto removed = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return removed->source().has_value(); }));
    model->remove(removed);
    runIdle();
    loop.advance(1s);
    model->library().drain();
    EXPECT_FALSE(removed->result());
    EXPECT_FALSE(fs::exists(imageFolder(id, removed->id)));
    EXPECT_TRUE(model->items()[0]->result());
    const auto stored = model->library().load(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->images.size(), 1u);
}

class ResumeTest : public LibraryTest {
protected:
    // A batch left while its one job ran on the backend; the job's id.
    std::pair<Uuid, std::string> leftWhileDeveloping()
    {
        drop({writeJPEG("a.jpg", 600, 400)});
        model->process();
        runUntilOrStop([&] { return !model->items().empty() && model->items()[0]->jobId() && model->batch(); },
                       "the picture was not sent");
        const std::pair<Uuid, std::string> left{model->batch()->id, *model->items()[0]->jobId()};
        model->newBatch();
        runIdle();
        return left;
    }
    // The item's record written again, as any edit of the open batch does.
    void editAndSave(const std::shared_ptr<BatchItem>& item)
    {
        model->setStrength(0.5, item);
        model->saveNow();
        model->library().drain();
    }
    // The sign-in page's answer for the fixture's account.
    void signIn() { model->auth().applyAuthResult({"ok", account.userId, std::nullopt, account.token}, "apple"); }
    size_t polls(const std::string& jobId) const { return requestsTo("/jobs/" + jobId).size(); }
};

TEST_F(ResumeTest, ARunningJobIsPolledAndDeliveredNeverUploadedAgain)
{
    const auto [id, jobId] = leftWhileDeveloping();
    EXPECT_EQ(loadedBatch(id).images.at(0).state, ImageRecord::State::developing);
    const auto submitted = submissions();
    openAndRestore(id);
    const auto& item = model->items()[0];
    EXPECT_TRUE(item->phase().is<phase::Done>());
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(backend.state().job(jobId)->delivered);
}

// An earlier run confirmed the delivery and ended before the result was on disk: the result the
// backend still holds is collected, stored and not paid for twice.
TEST_F(ResumeTest, AJobConfirmedBeforeItsResultWasStoredIsCollectedNotCalledExpired)
{
    const auto [id, jobId] = leftWhileDeveloping();
    backend.state().deliver(jobId);
    const int64_t shots = backend.state().account(account.userId)->balance;
    const auto submitted = submissions();
    openAndRestore(id);
    const auto& item = model->items()[0];
    ASSERT_TRUE(item->phase().is<phase::Done>()) << item->note().value_or("");
    ASSERT_TRUE(item->renderFile);
    EXPECT_TRUE(fs::exists(imageFolder(id, item->id) / *item->renderFile));
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::done);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(requestsTo("/jobs/" + jobId + "/confirm-delivery").empty());
    EXPECT_EQ(backend.state().account(account.userId)->balance, shots);
}

TEST_F(ResumeTest, ProcessingWhileTheJobIsHandedBackSubmitsNothing)
{
    const auto [id, jobId] = leftWhileDeveloping();
    const auto submitted = submissions();
    model->openBatch(id);
    const auto item = model->items()[0];
    // The original is found; the job is handed back once the thumbnail is made.
    ASSERT_TRUE(runUntil([&] { return item->source().has_value(); }));
    EXPECT_TRUE(model->itemsToProcess().empty());
    model->process();
    runIdle();
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
}

TEST_F(ResumeTest, AJobLeftBySigningOutWaitsForItsOwnAccountAlone)
{
    drop({writeJPEG("a.jpg", 600, 400)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->jobId().has_value(); }));
    const auto jobId = *item->jobId();
    const Uuid id = model->batch()->id;
    const auto submitted = submissions();
    model->auth().signOut();
    runIdle();
    loop.advance(10min);
    runIdle();
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    EXPECT_TRUE(item->jobAwaitsCollection);
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::developing);
    EXPECT_EQ(storedImage(id, item->id).jobId, jobId);
    const auto polled = polls(jobId);

    // Another account neither polls nor collects it, in this session or after reopening the batch.
    const auto other = backend.state().signIn("apple", "someone-else");
    model->auth().applyAuthResult({"ok", other.userId, std::nullopt, other.token}, "apple");
    runIdle();
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    model->newBatch();
    runIdle();
    openAndRestore(id);
    EXPECT_TRUE(model->items()[0]->phase().is<phase::Ready>());
    EXPECT_EQ(polls(jobId), polled);
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::developing);

    signIn();
    runIdle();
    const auto& collected = model->items()[0];
    ASSERT_TRUE(collected->result());
    EXPECT_EQ(collected->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(backend.state().job(jobId)->delivered);
}

// The photographer signs out just as a result arrives: it is neither delivered nor confirmed
// without its account, waits for it, and is collected and paid for once it signs in again.
TEST_F(ResumeTest, AResultArrivingAfterItsAccountLeftWaitsUnconfirmedForIt)
{
    drop({writeJPEG("a.jpg", 600, 400)});
    bool signedOut = false;
    model->runner().settingsFor = [this, &signedOut, settingsFor = model->runner().settingsFor](const BatchItem& item) {
        if (!std::exchange(signedOut, true)) model->auth().signOut();
        return settingsFor(item);
    };
    model->process();
    const auto item = model->items()[0];
    const Uuid id = model->batch()->id;
    runIdle();
    ASSERT_TRUE(signedOut && item->jobId());
    const auto jobId = *item->jobId();
    EXPECT_FALSE(item->result());
    EXPECT_TRUE(item->jobAwaitsCollection);
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::developing);
    EXPECT_TRUE(requestsTo("/jobs/" + jobId + "/confirm-delivery").empty());

    const int64_t shots = backend.state().account(account.userId)->balance;
    signIn();
    ASSERT_TRUE(runUntil([&] { return backend.state().job(jobId)->delivered; }));
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(backend.state().account(account.userId)->balance, shots - 1);
}

// A confirmation that waits for its account outlives a quit: the shot is spent once the account
// is signed in, in a later run of the program, whether it signs in then or already was.
TEST_F(ResumeTest, AConfirmationWaitingForItsAccountIsSentAfterARestart)
{
    const auto [id, jobId] = leftWhileDeveloping();
    const auto [otherId, otherJob] = leftWhileDeveloping();
    model->auth().signOut();
    runIdle();
    model->runner().confirmDelivery(jobId, std::to_string(account.userId));
    makeModel();
    signIn();
    EXPECT_TRUE(runUntil([&] { return backend.state().job(jobId)->delivered; }));

    model->auth().signOut();
    runIdle();
    model->runner().confirmDelivery(otherJob, std::to_string(account.userId));
    defaults().set("userId", std::to_string(account.userId));
    defaults().set("accountToken", account.token);
    makeModel();
    EXPECT_TRUE(runUntil([&] { return backend.state().job(otherJob)->delivered; })) << "signed in from the start";
}

// Signing out and straight back in: a job that stopped for its account at its next step picks
// up again at once, without the batch being opened again.
TEST_F(ResumeTest, SigningOutAndStraightBackInCollectsTheJobAtOnce)
{
    drop({writeJPEG("a.jpg", 600, 400)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Processing>(); }));
    const auto jobId = *item->jobId();
    const auto submitted = submissions();
    model->auth().signOut();
    signIn();
    runIdle();
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_FALSE(item->jobAwaitsCollection);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(runUntil([&] { return backend.state().job(jobId)->delivered; }));
}

TEST_F(ResumeTest, AfterNoShotsLeftAResumedJobIsStillCollectedAndARiseLiftsTheStop)
{
    const auto [id, jobId] = leftWhileDeveloping();
    backend.setFaults(local::LocalFaults{.refusal = "insufficient_credits"});
    drop({writeJPEG("b.jpg", 600, 400)});
    model->process();
    runIdle();
    ASSERT_TRUE(model->runner().outOfShots());
    backend.clearFaults();
    openAndRestore(id);
    const auto& item = model->items()[0];
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);

    await(model->refreshBalance());
    EXPECT_TRUE(model->runner().outOfShots()) << "no rise yet";
    backend.state().credit(account.userId, 50, true);
    await(model->refreshBalance());
    EXPECT_FALSE(model->runner().outOfShots());
}

TEST_F(ResumeTest, AServerSideFailureIsSubmittedAgainWithTheNudge)
{
    model->setGlobalNudge("soft window light");
    local::LocalFaults faults;
    faults.failJobs = "server_error";
    backend.setFaults(faults);
    const auto [id, jobId] = leftWhileDeveloping();
    backend.clearFaults();
    const auto submitted = submissions();
    openAndRestore(id);
    ASSERT_EQ(submissions(), submitted + 1);
    std::string lastSubmission;
    for (const auto& request : requestsTo("/jobs"))
        if (request.method == "POST" && request.path == "/jobs") lastSubmission = request.body;
    const auto body = parseJson(lastSubmission);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["nudge"], "soft window light");
    EXPECT_EQ((*body)["retryOfJobId"], jobId);
    EXPECT_TRUE(model->items()[0]->result());
}

TEST_F(ResumeTest, SignedOutTheItemWaitsReadyEvenThroughASaveAndIsCollectedOnceSignedIn)
{
    const auto [id, jobId] = leftWhileDeveloping();
    signOut();
    makeModel();
    const auto submitted = submissions();
    openAndRestore(id);
    const auto item = model->items()[0];
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    EXPECT_FALSE(model->runner().isPending(item->id));
    EXPECT_FALSE(model->runner().isRunning(item->id));
    EXPECT_EQ(submissions(), submitted);
    editAndSave(item);
    const auto stored = storedImage(id, item->id);
    EXPECT_EQ(stored.state, ImageRecord::State::developing);
    EXPECT_EQ(stored.jobId, jobId);

    signIn();
    runIdle();
    EXPECT_TRUE(item->phase().is<phase::Done>());
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(backend.state().job(jobId)->delivered);
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::done);
}

// The backend started over: jobs of the account it forgot go back to ready, in this run and the next.
TEST_F(ResumeTest, JobsOfAnAccountTheBackendForgotAreReadyAgainForTheNextAccount)
{
    const Uuid parked = leftWhileDeveloping().first, open = leftWhileDeveloping().first;
    auto options = backendOnClock(loop);
    options.instant = true;
    options.port = backend.port();
    backend.stop();
    local::LocalBackend fresh(options);
    ASSERT_TRUE(fresh.start());
    const auto openedReady = [&](const Uuid& batch) {
        openAndRestore(batch);
        const auto& item = model->items()[0];
        EXPECT_TRUE(item->phase().is<phase::Ready>() && !item->jobId());
        EXPECT_EQ(item->note(), std::string(jobForgottenNote));
        EXPECT_EQ(storedImage(batch, item->id).state, ImageRecord::State::unprocessed);
    };
    openedReady(open);
    makeModel();
    const auto next = fresh.state().signIn("apple", "next");
    model->auth().applyAuthResult({"ok", next.userId, std::nullopt, next.token}, "apple");
    openedReady(parked);
    model->process();
    runIdle();
    EXPECT_TRUE(model->items()[0]->result());
}

TEST_F(ResumeTest, AJobSavedWhileSignedOutIsCollectedWhenReopenedSignedIn)
{
    const auto [id, jobId] = leftWhileDeveloping();
    signOut();
    makeModel();
    openAndRestore(id);
    editAndSave(model->items()[0]);
    model->newBatch();
    runIdle();

    defaults().set("userId", std::to_string(account.userId));
    defaults().set("accountToken", account.token);
    makeModel();
    const auto submitted = submissions();
    openAndRestore(id);
    const auto& item = model->items()[0];
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
    EXPECT_TRUE(backend.state().job(jobId)->delivered);
}

TEST_F(ResumeTest, AStoredFailureComesBackReadyAndIsNeverPolledNorSubmittedAgain)
{
    const auto [id, jobId] = leftWhileDeveloping();
    auto record = loadedBatch(id).images.at(0);
    record.state = ImageRecord::State::failed;
    storeImage(id, record);
    signOut();
    makeModel();
    const auto submitted = submissions();
    const auto polled = polls(jobId);
    openAndRestore(id);
    const auto item = model->items()[0];
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    editAndSave(item);
    EXPECT_NE(storedImage(id, item->id).state, ImageRecord::State::developing);

    signIn();
    runIdle();
    loop.advance(30s);
    runIdle();
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    EXPECT_FALSE(item->result());

    // Nor when the batch is opened again signed in.
    model->newBatch();
    runIdle();
    openAndRestore(id);
    EXPECT_TRUE(model->items()[0]->phase().is<phase::Ready>());
    EXPECT_FALSE(model->items()[0]->result());
    EXPECT_EQ(submissions(), submitted);
    EXPECT_EQ(polls(jobId), polled);
    EXPECT_FALSE(backend.state().job(jobId)->delivered);
}

TEST_F(ResumeTest, AJobWhoseOriginalWasMissingIsCollectedOnceTheOriginalIsLocated)
{
    const auto [id, jobId] = leftWhileDeveloping();
    fs::create_directories(folder / "moved");
    fs::rename(folder / "a.jpg", folder / "moved" / "a.jpg");
    openAndRestore(id);
    const auto item = model->items()[0];
    ASSERT_EQ(item->availability().kind, Availability::Kind::offline);
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    editAndSave(item);
    EXPECT_EQ(storedImage(id, item->id).state, ImageRecord::State::developing);

    const auto submitted = submissions();
    panels.choices.push_back(std::vector<fs::path>{folder / "moved" / "a.jpg"});
    model->locateOriginal(item);
    runIdle();
    ASSERT_TRUE(item->result());
    EXPECT_EQ(item->result()->jobId, jobId);
    EXPECT_EQ(submissions(), submitted);
}

class BatchSessionTest : public LibraryTest {};

TEST_F(BatchSessionTest, RenamingTrimsTheNameAndNamingNeverReplacesIt)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    openAndRestore(id);
    const auto updated = model->batch()->updatedAt;
    model->renameBatch("  harbour at dusk\n");
    EXPECT_EQ(model->batch()->name, "harbour at dusk");
    EXPECT_EQ(model->batch()->nameSource, BatchRecord::NameSource::person);
    model->renameBatch(" \n\t ");
    EXPECT_EQ(model->batch()->name, "harbour at dusk");

    model->nameBatchIfReady();
    runIdle();
    EXPECT_EQ(model->batch()->name, "harbour at dusk");
    EXPECT_EQ(model->batch()->updatedAt, updated);
    const auto stored = model->library().load(id);
    EXPECT_EQ(stored->record.name, "harbour at dusk");
    EXPECT_EQ(stored->record.nameSource, BatchRecord::NameSource::person);
    ASSERT_FALSE(model->recent().empty());
    EXPECT_EQ(model->recent().front().record.name, "harbour at dusk");
}

TEST_F(BatchSessionTest, ANameIsOneLineOfAtMostAHundredCharactersThatReadsAsItIs)
{
    const auto other = storedBatch({writeJPEG("a.jpg")});
    const auto open = storedBatch({writeJPEG("b.jpg")});
    openAndRestore(open);
    model->renameBatch("quay\u202Eyaw \u2066side\u2069\tat\x1b dusk");
    EXPECT_EQ(model->batch()->name, "quayyaw side at  dusk");
    model->renameBatch(std::string(5000, 'n'));
    EXPECT_EQ(model->batch()->name, std::string(BatchRecord::longestName, 'n'));
    model->renameBatch("\u202E\u200F ");
    EXPECT_EQ(model->batch()->name, std::string(BatchRecord::longestName, 'n'));
    model->renameBatch(other, std::string(1 << 20, 'p'));
    runIdle();
    EXPECT_EQ(model->library().load(other)->record.name, std::string(BatchRecord::longestName, 'p'));
}

TEST_F(BatchSessionTest, GoingAwayStopsANamingRequestTheLocalModelIsStillTrickling)
{
    const auto id = developedBatch({writeJPEG("a.jpg", 600, 400)});
    TricklingModelServer trickling;
    auto client = clientOf(loop, trickling.baseURL());
    ASSERT_TRUE(probed(loop, *client));
    localModel = client.get();
    makeModel();
    // The restore ends by naming the batch, which asks the model.
    model->openBatch(id);
    for (int i = 0; i < 100 && trickling.streams() == 0; ++i)
        loop.runUntil([&] { return trickling.streams() > 0; }, 100ms);
    ASSERT_EQ(trickling.streams(), 1);
    ASSERT_TRUE(model->naming());
    model.reset();
    // As the application does before it goes: wait for the work the model handed to other threads.
    const auto gone = std::chrono::steady_clock::now();
    loop.runUntil([] { return false; }, std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - gone, std::chrono::seconds(2))
        << "the request outlived the model that asked";
}

TEST_F(BatchSessionTest, AnotherBatchIsRenamedOnDiskOnly)
{
    const auto other = storedBatch({writeJPEG("a.jpg")});
    const auto open = storedBatch({writeJPEG("b.jpg")});
    openAndRestore(open);
    const auto name = model->batch()->name;
    model->renameBatch(other, "pier\n");
    runIdle();
    EXPECT_EQ(model->batch()->name, name);
    const auto stored = model->library().load(other);
    EXPECT_EQ(stored->record.name, "pier");
    EXPECT_EQ(stored->record.nameSource, BatchRecord::NameSource::person);
    model->renameBatch(Uuid::random(), "nowhere");
    model->renameBatch(open, "quay");
    EXPECT_EQ(model->batch()->name, "quay");
}

TEST_F(BatchSessionTest, TrashingTheOpenBatchEmptiesTheWindowThenTrashesThenRefreshes)
{
    LibraryStore trashable(LibraryStore::Environment{folder / "Trashable", {}, &loop});
    makeModel(&trashable);
    const auto id = storedBatch({writeJPEG("a.jpg")});
    openAndRestore(id);
    const auto folder = trashable.batchFolder(id);
    std::vector<std::string> steps;
    auto connection = model->changed.connect([&](AppModel::Field field) {
        if (field == AppModel::Field::items && model->items().empty())
            steps.push_back(fs::exists(folder) ? "emptied" : "emptied after the move");
        if (field == AppModel::Field::recent) steps.push_back(fs::exists(folder) ? "listed before" : "listed");
    });
    model->trashBatch(id);
    runIdle();
    EXPECT_FALSE(model->batch());
    EXPECT_FALSE(fs::exists(folder));
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front(), "emptied");
    EXPECT_EQ(steps.back(), "listed");
    // The fixture's private data home holds the desktop Trash.
    EXPECT_TRUE(fs::exists(fs::path(std::getenv("XDG_DATA_HOME")) / "Trash" / "info" / (id.text() + ".trashinfo")));
    EXPECT_TRUE(std::none_of(model->recent().begin(), model->recent().end(),
                             [&](const BatchSummary& summary) { return summary.record.id == id; }));
    model.reset();
}

TEST_F(BatchSessionTest, TrashingACopyOfABatchsFolderTrashesTheCopyAlone)
{
    LibraryStore trashable(LibraryStore::Environment{folder / "Trashable", {}, &loop});
    makeModel(&trashable);
    const auto id = storedBatch({writeJPEG("a.jpg")});
    const fs::path copy = trashable.root() / (id.text() + " copy");
    fs::copy(trashable.batchFolder(id), copy, fs::copy_options::recursive);
    openAndRestore(id);
    await(model->refreshRecent());
    ASSERT_EQ(model->recent().size(), 2u);
    const auto listed = std::find_if(model->recent().begin(), model->recent().end(),
                                     [](const BatchSummary& summary) { return summary.copy; });
    ASSERT_NE(listed, model->recent().end());
    EXPECT_EQ(listed->folder, copy);
    EXPECT_EQ(std::count_if(model->recent().begin(), model->recent().end(),
                            [](const BatchSummary& summary) { return summary.copy; }),
              1);

    model->trashBatch(BatchSummary(*listed));
    runIdle();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(fs::exists(trashable.batchFolder(id) / "batch.json"));
    EXPECT_EQ(model->batch()->id, id) << "the open batch stays open";
    ASSERT_EQ(model->recent().size(), 1u);
    EXPECT_FALSE(model->recent()[0].copy);
    model.reset();
}

TEST_F(BatchSessionTest, ARefusedTrashSaysSoAndKeepsTheBatch)
{
    LibraryStore refusing(LibraryStore::Environment{
        folder / "Refusing", [](const fs::path&) -> std::optional<std::string> { return "no trash on this disk"; },
        &loop});
    makeModel(&refusing);
    const auto id = storedBatch({writeJPEG("a.jpg")});
    model->trashBatch(id);
    EXPECT_EQ(model->statusLine(), "could not move that batch to the trash");
    EXPECT_TRUE(fs::exists(refusing.batchFolder(id) / "batch.json"));
    runIdle();
    model.reset();
}

TEST_F(BatchSessionTest, OpenMostRecentOpensTheNewestAndNothingWhenThereIsNone)
{
    const auto generation = model->batchGeneration();
    model->openMostRecent();
    EXPECT_EQ(model->batchGeneration(), generation);
    EXPECT_FALSE(model->batch());

    storedBatch({writeJPEG("a.jpg")});
    loop.advance(5s);
    const auto newest = storedBatch({writeJPEG("b.jpg")});
    await(model->refreshRecent());
    model->openMostRecent();
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->batch()->id, newest);
}

} // namespace
} // namespace oxel::testing
