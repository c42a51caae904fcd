#include "support/ModelFixture.h"

#include "library/LibraryLock.h"
#include "platform/JsonFields.h"
#include "support/FileContents.h"
#include "support/PictureFiles.h"
#include "support/SmallDisk.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/resource.h>
#include <thread>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::optional<std::string> keepEverything(const fs::path&)
{
    return std::nullopt;
}

// While it lives, no file of the process may grow past `bytes`: writing more fails as a full disk
// does, with an error instead of a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { lift(); }
    void lift()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

class KeepingResultsTest : public ModelTest {
protected:
    std::optional<Json> storedRecord(const BatchItem& item) const
    {
        return parseJson(contentsOf(imageFolder(item) / "image.json"));
    }
    bool confirmed(const std::string& jobId) const
    {
        return !requestsTo("/jobs/" + jobId + "/confirm-delivery").empty();
    }
    // One picture developed while the disk takes no file past 96 KiB, so that its result waits
    // unsaved; false when it never came to that.
    bool developUnsaved()
    {
        makeModel();
        drop({writeJPEG("a.jpg", 900, 600)});
        diskLimit.emplace(96 * 1024);
        model->process();
        return runUntil([&] { return model->statusLine() == AppModel::unsavedStatus; });
    }

    // One picture developed, the program ended just after its result was delivered, as it was
    // being stored; its job id. The library has its record, done.
    std::string endWhileStoring()
    {
        makeModel();
        drop({writeJPEG("a.jpg", 900, 600)});
        bool delivered = false;
        model->runner().onDelivered = [&delivered, told = model->runner().onDelivered](const auto& item) {
            told(item);
            delivered = true;
        };
        model->process();
        EXPECT_TRUE(runUntil([&] { return delivered; }));
        const std::string jobId = model->items()[0]->jobId().value_or("");
        const auto folder = imageFolder(*model->items()[0]);
        model.reset();
        library.drain();
        const auto stored = parseJson(contentsOf(folder / "image.json"));
        EXPECT_TRUE(stored && (*stored)["state"] == "done");
        return jobId;
    }

    std::optional<FileSizeLimit> diskLimit;
};

TEST_F(KeepingResultsTest, ALibraryThatCannotBeWrittenSpendsNoShotAndSaysSo)
{
    test::writeFile(folder / "not-a-folder", {1, 2, 3});
    LibraryStore blocked(LibraryStore::Environment{folder / "not-a-folder" / "Library", keepEverything, &loop});
    makeModel(&blocked);
    drop({writeJPEG("a.jpg", 600, 400)});
    model->process();
    runImports();
    EXPECT_EQ(model->statusLine(), AppModel::libraryUnwritable);
    EXPECT_EQ(submissions(), 0u);
    EXPECT_TRUE(model->items()[0]->phase().is<phase::Ready>());
    EXPECT_FALSE(model->batch());
}

// A library whose lock this program could not take may be another program's: the window says so
// from the start and nothing is processed or written. One on a disk without locks is used, and
// the window says that.
TEST_F(KeepingResultsTest, ALibraryThisProgramCouldNotLockIsNeverWrittenAndSaysSo)
{
    const fs::path root = folder / "Shared";
    LibraryStore refused(LibraryStore::Environment{root, keepEverything, &loop, "cannot lock the library"});
    makeModel(&refused);
    EXPECT_EQ(model->statusLine(), AppModel::libraryNotLockedStatus);
    drop({writeJPEG("a.jpg", 600, 400)});
    model->ensureBatchStored();
    model->saveNow();
    model->process();
    runImports();
    refused.drain();
    EXPECT_EQ(submissions(), 0u);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(refused.deleteBatch(model->batch()->id));

    LibraryStore unlocked(LibraryStore::Environment{folder / "Unlocked", keepEverything, &loop, std::nullopt, true});
    makeModel(&unlocked);
    EXPECT_EQ(model->statusLine(), AppModel::libraryUnlockedStatus);
    model.reset();
}

// A render the disk cannot take: the record never says "done" without it, the shot is not spent,
// the window says so for as long as it lasts, and once the disk takes it the result is stored and
// only then confirmed.
TEST_F(KeepingResultsTest, AResultTheDiskCannotTakeIsHeldUnconfirmedAndStoredOnceItCan)
{
    makeModel();
    drop({writeJPEG("a.jpg", 900, 600)});
    constexpr rlim_t largestFile = 96 * 1024;
    FileSizeLimit full(largestFile);
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Done>() && model->statusLine(); }));
    runImports();
    library.drain();
    ASSERT_TRUE(item->keep);
    ASSERT_GT(item->keep->render.size(), largestFile) << "the render must be the file the disk refuses";
    const std::string jobId = *item->jobId();
    EXPECT_EQ(model->statusLine(), AppModel::unsavedStatus);
    EXPECT_EQ(item->note(), AppModel::unsavedNote);
    EXPECT_FALSE(item->renderFile);
    EXPECT_FALSE(confirmed(jobId));
    const auto unsaved = storedRecord(*item);
    ASSERT_TRUE(unsaved);
    EXPECT_EQ((*unsaved)["state"], "developing");
    EXPECT_FALSE(unsaved->contains("renderFile"));

    full.lift();
    loop.advance(JobRunner::keepRetry);
    ASSERT_TRUE(runUntil([&] { return confirmed(jobId) && model->runner().inFlightCount() == 0; }));
    library.drain();
    ASSERT_TRUE(item->renderFile);
    EXPECT_TRUE(fs::exists(imageFolder(*item) / *item->renderFile));
    const auto stored = storedRecord(*item);
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["state"], "done");
    EXPECT_EQ(model->statusLine(), std::nullopt);
    EXPECT_EQ(item->note(), std::nullopt);
}

// The library folder replaced by a copy while a picture develops: its result stays on the item,
// unconfirmed, and the window says why; once the folder locked is back, it is stored and confirmed.
TEST_F(KeepingResultsTest, AResultForALibraryFolderReplacedIsHeldUntilTheLockedFolderIsBack)
{
    const fs::path root = folder / "Locked", aside = folder / "Aside";
    auto lock = LibraryLock::take(root, std::nullopt);
    LibraryStore locked({root, keepEverything, &loop, std::nullopt, false, lock.lock->folder()});
    makeModel(&locked);
    drop({writeJPEG("a.jpg", 900, 600)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->jobId().has_value(); }));
    fs::rename(root, aside), fs::copy(aside, root, fs::copy_options::recursive);
    ASSERT_TRUE(runUntil([&] { return model->statusLine() == AppModel::folderReplacedStatus && item->keep; }));
    fs::remove_all(root), fs::rename(aside, root);
    loop.advance(JobRunner::keepRetry);
    EXPECT_TRUE(runUntil([&] { return confirmed(*item->jobId()) && item->renderFile && !model->statusLine(); }));
    model.reset();
}

// The program ends while a delivered result is being stored: the next run pays for it, once.
TEST_F(KeepingResultsTest, AResultStillBeingStoredAtTheEndIsConfirmedByTheNextRun)
{
    const std::string jobId = endWhileStoring();
    makeModel();
    EXPECT_TRUE(runUntil([&] { return confirmed(jobId) && model->runner().waitingConfirmations().empty(); }));
    EXPECT_EQ(requestsTo("/jobs/" + jobId + "/confirm-delivery").size(), 1u);
}

// The start looks for the results the last run could not note as stored off the main thread,
// whatever the library's size: the model is made before the look, and until its answer the
// delivery stays waiting, unconfirmed, so that a quit meanwhile loses nothing.
TEST_F(KeepingResultsTest, TheStartLooksForStoredResultsWithoutHoldingUpTheModel)
{
    const std::string jobId = endWhileStoring();
    makeModel();
    ASSERT_EQ(model->runner().waitingConfirmations().size(), 1u);
    EXPECT_FALSE(model->runner().waitingConfirmations()[0].stored) << "looked for before the model was made";
    makeModel();
    EXPECT_TRUE(runUntil([&] { return confirmed(jobId) && model->runner().waitingConfirmations().empty(); }));
    EXPECT_EQ(requestsTo("/jobs/" + jobId + "/confirm-delivery").size(), 1u);
}

// The program ends while the disk refuses a result: the next start charges nothing for it. Only
// opening its batch, which collects it again and stores it, confirms it.
TEST_F(KeepingResultsTest, AResultNotStoredAtTheEndIsChargedOnlyOnceItsBatchStoresIt)
{
    ASSERT_TRUE(developUnsaved());
    const std::string jobId = *model->items()[0]->jobId();
    const auto batch = model->batch()->id;
    model.reset();
    library.drain();
    diskLimit.reset();
    makeModel();
    runUntil([&, from = loop.steady()] { return loop.steady() - from > 10s; });
    EXPECT_FALSE(confirmed(jobId)) << "charged by a start that never stored it";
    EXPECT_TRUE(model->runner().waitingConfirmations().empty());

    model->openBatch(batch);
    EXPECT_TRUE(runUntil([&] { return confirmed(jobId) && model->items()[0]->renderFile; }));
    EXPECT_EQ(requestsTo("/jobs/" + jobId + "/confirm-delivery").size(), 1u);
}

// Exported while the disk cannot take it, a result has left the program: its delivery is confirmed
// then, and not again once the disk takes the result.
TEST_F(KeepingResultsTest, AnUnsavedResultIsConfirmedOnceWhenItIsFirstExported)
{
    ASSERT_TRUE(developUnsaved());
    const auto item = model->items()[0];
    const std::string confirmations = "/jobs/" + *item->jobId() + "/confirm-delivery";
    // Whatever the backend is to hear has reached it within ten seconds.
    const auto settled = [&] {
        const auto from = loop.steady();
        runUntil([&] { return loop.steady() - from > 10s; });
        return requestsTo(confirmations).size();
    };
    model->exportTo({ExportOptions{ExportFormat::jpeg, ExportColour::embedded, false, 0.5}}, folder / "out");
    EXPECT_EQ(settled(), 1u) << "confirmed once exported, while the disk still refuses it";
    diskLimit.reset();
    loop.advance(JobRunner::keepRetry);
    ASSERT_TRUE(runUntil([&] { return item->renderFile.has_value(); }));
    EXPECT_EQ(settled(), 1u) << "and not again once stored";
}

// Three controls moved while the disk refuses every write: the window says so until they are
// written, which they are once the disk takes writes again, and they come back with the batch.
TEST_F(KeepingResultsTest, ChangesTheDiskRefusesAreKeptAndWrittenOnceItTakesThem)
{
    makeModel();
    drop({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    model->ensureBatchStored();
    library.drain();
    const auto id = model->batch()->id;
    const auto a = model->items()[0], b = model->items()[1];
    FileSizeLimit full(64);
    model->setStrength(0.4, a);
    loop.advance(1s);
    model->setColour(0.3, b);
    loop.advance(1s);
    model->setGlobalStrength(0.6);
    loop.advance(1s);
    library.drain();
    EXPECT_TRUE(runUntil([&] { return model->statusLine() == AppModel::changesUnsavedStatus; }));
    full.lift();
    loop.advance(BatchSaver::retryDelay);
    library.drain();
    EXPECT_TRUE(runUntil([&] { return !model->statusLine(); }));

    const auto strength = a->strengthOffset(), colour = b->colourOffset();
    makeModel();
    model->openBatch(id);
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    int kept = model->globalStrength() == 0.6;
    for (const auto& item : model->items())
        kept += item->id == a->id ? item->strengthOffset() == strength : item->colourOffset() == colour;
    EXPECT_EQ(kept, 3) << "of the three moves";
}

TEST_F(KeepingResultsTest, ChangesTheDiskRefusedOutliveTheirBatchClosingAndAreWrittenOnceItTakesThem)
{
    makeModel();
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    library.drain();
    const auto id = model->batch()->id;
    FileSizeLimit full(64);
    model->setStrength(0.4, model->items()[0]);
    model->setGlobalStrength(0.6);
    loop.advance(1s);
    library.drain();
    EXPECT_TRUE(runUntil([&] { return model->statusLine() == AppModel::changesUnsavedStatus; }));
    const auto strength = model->items()[0]->strengthOffset();
    const auto moved = [&] {
        return model->globalStrength() == 0.6 && model->items()[0]->strengthOffset() == strength;
    };
    model->newBatch();
    EXPECT_EQ(model->statusLine(), AppModel::changesUnsavedStatus);
    model->openBatch(id);
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_TRUE(moved()) << "opened again while the disk still refuses them";
    model->newBatch();
    full.lift();
    loop.advance(BatchSaver::retryDelay);
    library.drain();
    EXPECT_TRUE(runUntil([&] { return !model->statusLine(); }));

    makeModel();
    model->openBatch(id);
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_TRUE(moved());
}

// A picture added while the disk takes its record but refuses the batch's (the larger for a long
// nudge) is listed only by the batch record kept here: the batch opened again still holds it.
TEST_F(KeepingResultsTest, ABatchOpenedAgainFromItsKeptRecordHasEveryPictureThatRecordLists)
{
    makeModel();
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    const auto id = model->batch()->id;
    const auto added = writeJPEG("b.jpg");
    FileSizeLimit full(4096);
    model->setGlobalNudge(std::string(5000, 'n'));
    drop({added});
    model->newBatch();
    model->openBatch(id);
    EXPECT_EQ(model->items().size(), 2u);
}

// A batch goes whole when the disk has room for its results, however little; a disk short of room
// for the next picture's result says how short, and sends nothing.
TEST_F(KeepingResultsTest, PicturesAreSentWhileTheDiskHasRoomForTheirResultsAndWhatIsShortIsSaid)
{
    SmallDisk disk(folder / "disk", 24'000'000);
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a small disk here";
    LibraryStore small(LibraryStore::Environment{folder / "disk" / "Library", keepEverything, &loop});
    makeModel(&small);
    std::vector<fs::path> pictures;
    for (const auto* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        pictures.push_back(writeJPEG(name, 900, 600));
    drop(pictures);
    model->process();
    EXPECT_TRUE(runUntil([&] {
        return std::all_of(model->items().begin(), model->items().end(),
                           [](const auto& item) { return item->renderFile.has_value(); });
    }));
    drop({writeJPEG("f.jpg", 900, 600)});
    small.drain();
    std::ofstream(folder / "disk" / "filler") << std::string(fs::space(folder / "disk").available - 100'000, 'x');
    model->process();
    runImports();
    EXPECT_EQ(submissions(), 5u);
    const auto said = model->statusLine().value_or("");
    EXPECT_TRUE(said.starts_with("the library's disk is nearly full · 0 MB free, about ")) << said;
    EXPECT_TRUE(said.ends_with(" MB needed · no shot used · 1 waits for room")) << said;
    model.reset();
}

// The disk fills between "process" and the submissions: no picture is sent without its record on
// disk, since a job the library never heard of could not be collected after a quit.
TEST_F(KeepingResultsTest, APictureIsSentOnlyOnceTheLibraryTookItsRecord)
{
    makeModel();
    drop({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg"), writeJPEG("d.jpg")});
    model->process();
    library.drain();
    FileSizeLimit full(64);
    const auto ready = [&] {
        return std::all_of(model->items().begin(), model->items().end(),
                           [](const auto& item) { return item->phase().template is<phase::Ready>(); });
    };
    runUntil([&] { return ready() || submissions() == 4; });
    EXPECT_EQ(submissions(), 0u);
    EXPECT_TRUE(ready());
    EXPECT_TRUE(model->statusLine() && model->statusLine()->find("library") != std::string::npos);
}

// Results the disk cannot take wait for it without their slots: the rest of the batch develops
// meanwhile, and each result is stored and confirmed once the disk takes it.
TEST_F(KeepingResultsTest, UnsavedResultsLeaveTheirSlotsToTheRestOfTheBatch)
{
    makeModel();
    model->runner().maxInFlight = 2;
    drop({writeJPEG("a.jpg", 900, 600), writeJPEG("b.jpg", 900, 600), writeJPEG("c.jpg", 900, 600)});
    FileSizeLimit full(96 * 1024);
    model->process();
    // Quitting tells the picture waiting for a slot from the two being sent.
    runUntil([&] { return model->inFlightCount() - model->waitingCount() == 2; });
    EXPECT_EQ(model->waitingCount(), 1);
    const auto developed = [&] {
        return std::count_if(model->items().begin(), model->items().end(),
                             [](const auto& item) { return item->phase().template is<phase::Done>(); });
    };
    // Unsaved results are tried again for as long as they wait: the clock is given ten minutes.
    const auto limit = loop.elapsed() + std::chrono::minutes(10);
    runUntil([&] { return developed() == 3 || loop.elapsed() > limit; });
    ASSERT_EQ(developed(), 3) << "the batch started only " << submissions() << " of 3";
    EXPECT_EQ(model->runner().inFlightCount(), 0);
    runUntil([&] { return model->unsavedResultCount() == 3 || loop.elapsed() > limit + std::chrono::minutes(1); });
    EXPECT_EQ(model->unsavedResultCount(), 3);
    for (const auto& item : model->items()) EXPECT_FALSE(confirmed(*item->jobId()));

    full.lift();
    loop.advance(JobRunner::keepRetry);
    const auto allConfirmed = [&] {
        return std::all_of(model->items().begin(), model->items().end(),
                           [&](const auto& item) { return item->renderFile && confirmed(*item->jobId()); });
    };
    EXPECT_TRUE(runUntil(allConfirmed));
}

// The child develops three photographs and is killed the moment the backend hears the first
// confirmation, before anything else of it runs.
[[noreturn]] void developAndDieAtTheFirstConfirmation(ModelTest& test, const fs::path& root)
{
    LibraryStore store(LibraryStore::Environment{root, keepEverything, &test.loop});
    test.makeModel(&store);
    // Everything of the child's lies in the parent's folder, which outlives the kill.
    const fs::path shared = root.parent_path();
    test.drop({test.writeJPEG(shared / "a.jpg", 1200, 800), test.writeJPEG(shared / "b.jpg", 1200, 800),
               test.writeJPEG(shared / "c.jpg", 800, 1200)});
    std::thread killer([&test, shared] {
        for (;;) {
            for (const auto& request : test.backend.receivedRequests())
                if (request.path.ends_with("/confirm-delivery")) {
                    std::ofstream(shared / "confirmed") << request.path;
                    std::error_code ignored;
                    fs::remove_all(test.folder.path(), ignored);
                    ::kill(::getpid(), SIGKILL);
                }
            std::this_thread::sleep_for(200us);
        }
    });
    test.model->process();
    test.loop.runUntil([] { return false; }, 60s);
    std::this_thread::sleep_for(20s);
    std::_Exit(1);
}

TEST_F(KeepingResultsTest, AKillJustAfterADeliveryIsConfirmedFindsItsResultStored)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from the top: it takes the parent's library.
    if (!std::getenv("OXEL_KILLED_LIBRARY"))
        ::setenv("OXEL_KILLED_LIBRARY", (folder / "killed" / "Library").c_str(), 1);
    const fs::path root = std::getenv("OXEL_KILLED_LIBRARY");
    EXPECT_EXIT(developAndDieAtTheFirstConfirmation(*this, root), ::testing::KilledBySignal(SIGKILL), "");
    ::unsetenv("OXEL_KILLED_LIBRARY");

    const std::string confirmation = contentsOf(root.parent_path() / "confirmed");
    ASSERT_TRUE(confirmation.starts_with("/jobs/"));
    const std::string jobId = confirmation.substr(6, confirmation.find('/', 6) - 6);
    int found = 0;
    for (const auto& file : fs::recursive_directory_iterator(root)) {
        if (file.path().filename() != "image.json") continue;
        const auto record = parseJson(contentsOf(file.path()));
        if (!record || !record->contains("jobId") || (*record)["jobId"] != jobId) continue;
        ++found;
        EXPECT_EQ((*record)["state"], "done");
        ASSERT_TRUE(record->contains("renderFile"));
        EXPECT_TRUE(fs::exists(file.path().parent_path() / (*record)["renderFile"].get<std::string>()));
        EXPECT_TRUE(fs::exists(file.path().parent_path() / "analysis.json"));
    }
    EXPECT_EQ(found, 1);
}

} // namespace
} // namespace oxel::testing
