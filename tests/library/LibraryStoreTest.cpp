#include "library/LibraryStore.h"

#include "backend/AnalysisResponse.h"
#include "library/LibraryLock.h"
#include "library/RecordSamples.h"
#include "platform/ProcessMemory.h"
#include "platform/Trash.h"
#include "support/PictureFiles.h"
#include "support/TemporaryFolder.h"
#include "support/TrashHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// A wall clock that stands still where the test puts it.
class PinnedClock final : public TimeSource {
public:
    WallTime wall = system_clock::now();
    WallTime now() const override { return wall; }
    SteadyTime steady() const override { return steady_clock::now(); }
};

// A store on its own root inside the test program's data home, so GIO uses that home's Trash.
struct LibraryStoreOnDisk : ::testing::Test {
    fs::path root = makeRoot();
    PinnedClock clock;
    std::optional<std::string> refusal; // set: the trash refuses with this reason
    LibraryStore store{{root,
                        [this](const fs::path& path) -> std::optional<std::string> {
                            if (refusal) return refusal;
                            return moveToTrash(path);
                        },
                        &clock}};

    static fs::path makeRoot()
    {
        static int count = 0;
        const fs::path root = testing::TrashHome::instance().root() / ("library-" + std::to_string(++count));
        fs::create_directories(root);
        return root;
    }

    BatchRecord batch(int images, int updatedLater = 0)
    {
        BatchRecord record = samples::fullBatchRecord();
        record.id = Uuid::random();
        record.updatedAt = samples::morning(updatedLater);
        record.images.clear();
        for (int i = 0; i < images; ++i) record.images.push_back(Uuid::random());
        return record;
    }
    ImageRecord image(const Uuid& id)
    {
        ImageRecord record = samples::fullImageRecord();
        record.id = id;
        return record;
    }
    void writeRaw(const fs::path& file, const std::string& bytes)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string wholeAnalysis()
    {
        Json json;
        to_json(json, AnalysisResponse{});
        return json.dump();
    }
    // A delivery's result stored as a run stores it: its done record, its render and its analysis.
    ImageRecord storeDelivery(const Uuid& batch, const Uuid& id, const std::string& jobId,
                              const std::string& renderFile, const std::string& render)
    {
        ImageRecord done = image(id);
        done.mode.reset();
        done.jobId = jobId;
        done.renderFile = renderFile;
        store.saveImage(done, batch);
        store.drain();
        writeRaw(store.imageFolder(batch, id) / renderFile, render);
        writeRaw(store.imageFolder(batch, id) / "analysis.json", wholeAnalysis());
        return done;
    }
    void age(const fs::path& path, seconds howOld)
    {
        const auto when = clock.wall - howOld;
        const auto since = when.time_since_epoch();
        const timespec times[2] = {{time_t(duration_cast<seconds>(since).count()), 0},
                                   {time_t(duration_cast<seconds>(since).count()),
                                    long(duration_cast<nanoseconds>(since % seconds(1)).count())}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    static bool isInTrash(const fs::path& original)
    {
        for (const auto& info : fs::directory_iterator(testing::TrashHome::instance().trashInfo())) {
            std::ifstream in(info.path());
            std::string text((std::istreambuf_iterator<char>(in)), {});
            if (text.find("[Trash Info]") != std::string::npos && text.find("Path=") != std::string::npos &&
                text.find(original.filename().string()) != std::string::npos)
                return true;
        }
        return false;
    }
};

TEST_F(LibraryStoreOnDisk, ASaveIsListedAndLoadedAtOnce)
{
    const BatchRecord record = batch(3);
    store.saveBatch(record);
    for (const Uuid& id : record.images) store.saveImage(image(id), record.id);

    const auto listed = store.list();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].record, record);
    EXPECT_EQ(listed[0].folder, root / record.id.text());
    EXPECT_TRUE(listed[0].thumbs.empty());

    const auto loaded = store.load(record.id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->record, record);
    ASSERT_EQ(loaded->images.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded->images[i].id, record.images[i]);
    EXPECT_TRUE(fs::exists(root / record.id.text() / "images" / record.images[0].text() / "image.json"));
}

// Only a render there whole, as a reopen would show it, makes a stored result: one cut short,
// damaged on disk or reached through a linked folder leaves its delivery to its batch.
TEST_F(LibraryStoreOnDisk, AStoredResultIsADoneRecordWithItsRenderWhole)
{
    const auto pattern = test::gradientOf(300, 200);
    const auto jpeg = test::encodeJPEG(300, 200, pattern), png = test::encodePNG(300, 200, pattern);
    const std::string whole(png.begin(), png.end()), half = whole.substr(0, whole.size() / 2);
    std::string flipped = whole, zeroed = whole;
    flipped[whole.size() / 2] ^= 1;
    zeroed.replace(whole.size() / 3, whole.size() / 3, whole.size() / 3, '\0');
    const std::pair<const char*, std::string> renders[] = {
        {"render.jpg", std::string(jpeg.begin(), jpeg.end())},
        {"render.jpg", std::string(jpeg.begin(), jpeg.begin() + 1000)},
        {"render.png", whole},
        {"render.png", half},
        {"render.png", half + whole.substr(whole.size() - 12)}, // with its end chunk
        {"render.png", flipped},
        {"render.png", zeroed},
        {"render.png", whole}}; // its folder is a link to a copy of itself
    const size_t count = std::size(renders);
    const BatchRecord record = batch(int(count));
    store.saveBatch(record);
    std::set<std::string> jobIds;
    for (size_t i = 0; i < count; ++i)
        jobIds.insert(
            *storeDelivery(record.id, record.images[i], "job_" + std::to_string(i), renders[i].first, renders[i].second)
                 .jobId);
    const fs::path linked = store.imageFolder(record.id, record.images[count - 1]), copy = root.string() + "-copy";
    fs::rename(linked, copy);
    fs::create_directory_symlink(copy, linked);
    EXPECT_EQ(store.storedResults(jobIds), (std::set<std::string>{"job_0", "job_2"}));
}

// A reopen rebuilds a result from its analysis as well: a delivery whose analysis is gone or damaged
// is not one the library keeps.
TEST_F(LibraryStoreOnDisk, AStoredResultHasItsAnalysisWhole)
{
    const std::string whole = wholeAnalysis(), third(whole.size() / 3, '\0');
    const std::optional<std::string> analyses[] = {
        whole, std::nullopt, whole.substr(0, third.size()) + third + whole.substr(2 * third.size()),
        whole.substr(0, whole.size() / 2)};
    const auto render = test::encodeJPEG(300, 200, test::gradientOf(300, 200));
    const BatchRecord record = batch(int(std::size(analyses)));
    store.saveBatch(record);
    std::set<std::string> jobIds;
    for (size_t i = 0; i < std::size(analyses); ++i) {
        const ImageRecord done = storeDelivery(record.id, record.images[i], "job_" + std::to_string(i), "render.jpg",
                                               std::string(render.begin(), render.end()));
        jobIds.insert(*done.jobId);
        const fs::path analysis = store.imageFolder(record.id, done.id) / "analysis.json";
        if (analyses[i])
            writeRaw(analysis, *analyses[i]);
        else
            fs::remove(analysis);
    }
    EXPECT_EQ(store.storedResults(jobIds), (std::set<std::string>{"job_0"}));
}

// The backend sends a render at the size the original was sent at: one more than twice as large is
// refused by a reopen, and is not a stored result either.
TEST_F(LibraryStoreOnDisk, AStoredResultsRenderIsAtMostTwiceTheSizeSent)
{
    const auto render = test::encodePNG(300, 200, test::gradientOf(300, 200));
    const std::vector<int64_t> originals[] = {{150, 100}, {148, 100}};
    const BatchRecord record = batch(2);
    store.saveBatch(record);
    for (size_t i = 0; i < 2; ++i) {
        ImageRecord done = storeDelivery(record.id, record.images[i], "job_" + std::to_string(i), "render.png",
                                         std::string(render.begin(), render.end()));
        done.original.pixels = originals[i];
        store.saveImage(done, record.id);
    }
    EXPECT_EQ(store.storedResults({"job_0", "job_1"}), (std::set<std::string>{"job_0"}));
}

// A quit during the start's pass stops it at the next image, not at the end of the batch.
TEST_F(LibraryStoreOnDisk, AStopEndsThePassBeforeTheRestOfTheBatchIsDecoded)
{
    constexpr int count = 40;
    const auto render = test::encodeJPEG(1200, 800, test::gradientOf(1200, 800));
    const BatchRecord record = batch(count);
    store.saveBatch(record);
    std::set<std::string> jobIds;
    for (int i = 0; i < count; ++i)
        jobIds.insert(*storeDelivery(record.id, record.images[size_t(i)], "job_" + std::to_string(i), "render.jpg",
                                     std::string(render.begin(), render.end()))
                           .jobId);
    const auto began = steady_clock::now();
    ASSERT_EQ(store.storedResults(jobIds).size(), size_t(count));
    const auto wholePass = steady_clock::now() - began;

    std::stop_source stop;
    std::set<std::string> stored;
    std::jthread pass([&] { stored = store.storedResults(jobIds, stop.get_token()); });
    std::this_thread::sleep_for(wholePass / 4);
    stop.request_stop();
    pass.join();
    EXPECT_LT(stored.size(), size_t(count));
}

TEST_F(LibraryStoreOnDisk, LoadKeepsTheListOrderAndSkipsMissingAndDamagedImages)
{
    const BatchRecord record = batch(4);
    store.saveBatch(record);
    store.saveImage(image(record.images[3]), record.id);
    store.saveImage(image(record.images[0]), record.id);
    store.drain();
    writeRaw(store.imageFolder(record.id, record.images[1]) / "image.json", "{not json");

    const auto loaded = store.load(record.id);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->images.size(), 2u);
    EXPECT_EQ(loaded->images[0].id, record.images[0]);
    EXPECT_EQ(loaded->images[1].id, record.images[3]);
    EXPECT_FALSE(store.load(Uuid::random()));
}

TEST_F(LibraryStoreOnDisk, ListsUpToFourThumbnailsAmongTheFirstSixImages)
{
    const BatchRecord sparse = batch(8, 10);
    store.saveBatch(sparse);
    for (int index : {1, 4, 6})
        store.write({0xFF, 0xD8}, store.imageFolder(sparse.id, sparse.images[index]) / "thumb.jpg");
    const BatchRecord full = batch(6, 20);
    store.saveBatch(full);
    for (int index : {0, 1, 2, 4, 5})
        store.write({0xFF, 0xD8}, store.imageFolder(full.id, full.images[index]) / "thumb.jpg");

    const auto listed = store.list();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].record.id, full.id); // newest update first
    const auto thumb = [&](const BatchRecord& record, int index) {
        return store.imageFolder(record.id, record.images[index]) / "thumb.jpg";
    };
    EXPECT_EQ(listed[0].thumbs,
              (std::vector<fs::path>{thumb(full, 0), thumb(full, 1), thumb(full, 2), thumb(full, 4)}));
    EXPECT_EQ(listed[1].thumbs, (std::vector<fs::path>{thumb(sparse, 1), thumb(sparse, 4)}));
}

TEST_F(LibraryStoreOnDisk, DamagedOrPlantedFoldersAreNotListed)
{
    const BatchRecord record = batch(1);
    store.saveBatch(record);
    store.drain();
    writeRaw(root / "invalid" / "batch.json", "{\"id\": ");
    writeRaw(root / ".hidden" / "batch.json", *record.encode());
    std::string huge = *record.encode();
    huge.append(LibraryStore::largestRecordFile, ' ');
    writeRaw(root / "huge" / "batch.json", huge);
    fs::create_directory_symlink(root / record.id.text(), root / "linked");
    writeRaw(root / "plain-file", "x");

    const auto listed = store.list();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].record.id, record.id);

    // A damaged batch.json still marks a complete batch: the sweep keeps it, however old.
    age(root / "invalid", hours(48));
    store.sweep();
    store.drain();
    EXPECT_TRUE(fs::exists(root / "invalid" / "batch.json"));
}

TEST_F(LibraryStoreOnDisk, AManyValuedRecordIsRefusedWithoutMemoryManyTimesItsSize)
{
    const BatchRecord record = batch(1);
    store.saveBatch(record);
    std::string empties = R"({"images": [)";
    while (empties.size() < size_t(15) << 20) empties += "{},";
    empties += "{}]}";
    writeRaw(root / Uuid::random().text() / "batch.json", empties);
    store.drain();

    resetResidentPeak();
    const size_t before = residentBytes();
    const auto listed = store.list();
    const size_t grown = residentPeakBytes() - before;
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].record.id, record.id);
    EXPECT_LT(grown, size_t(120) << 20) << "listing took " << (grown >> 20) << " MB";
}

TEST_F(LibraryStoreOnDisk, TheSweepTrashesFoldersWithoutABatchAfterADay)
{
    const fs::path kept = root / Uuid::random().text();
    const fs::path stale = root / Uuid::random().text();
    writeRaw(kept / "images" / "x" / "original.jpg", "x");
    writeRaw(stale / "images" / "x" / "original.jpg", "x");
    age(kept, seconds(86'400));
    age(stale, seconds(86'401));

    store.sweep();
    store.drain();
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(isInTrash(stale));

    // A trash that refuses leaves the folder for the next sweep; nothing is deleted.
    refusal = "no trash on this mount";
    age(kept, seconds(90'000));
    store.sweep();
    store.drain();
    EXPECT_TRUE(fs::exists(kept / "images" / "x" / "original.jpg"));
}

TEST_F(LibraryStoreOnDisk, TheSweepTouchesNothingButBatchFoldersWithoutTheirRecord)
{
    const fs::path notes = root / "notes.txt";
    const fs::path ownFolder = root / "prints for Anna";
    const fs::path lowerCase = root / Uuid::random().text();
    std::string lowered = lowerCase.filename().string();
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), ::tolower);
    writeRaw(notes, "call the lab");
    writeRaw(ownFolder / "a.jpg", "x");
    writeRaw(root / lowered / "a.jpg", "x");
    for (const auto& path : {notes, ownFolder, root / lowered}) age(path, hours(48));

    store.sweep();
    store.drain();
    EXPECT_TRUE(fs::exists(notes));
    EXPECT_TRUE(fs::exists(ownFolder / "a.jpg"));
    EXPECT_TRUE(fs::exists(root / lowered / "a.jpg"));
}

// A batch copied with its folder's search bit lost: its batch.json cannot be looked for, which
// proves nothing. The administrator may search any folder, so the sweep then runs as "nobody".
TEST_F(LibraryStoreOnDisk, TheSweepLeavesABatchFolderItCannotSearch)
{
    char made[] = "/tmp/oxel-sweep-XXXXXX";
    ASSERT_TRUE(::mkdtemp(made));
    const fs::path library = fs::path(made) / "Library";
    const fs::path unsearchable = library / Uuid::random().text(), stale = library / Uuid::random().text();
    writeRaw(unsearchable / "batch.json", *batch(0).encode());
    fs::create_directories(stale);
    const bool administrator = ::geteuid() == 0;
    const uid_t nobody = 65534;
    for (const auto& path : {fs::path(made), library, unsearchable, unsearchable / "batch.json", stale}) {
        if (administrator) {
            ASSERT_EQ(::chown(path.c_str(), nobody, nobody), 0) << path;
        }
    }
    ::chmod(made, 0755);
    ::chmod(unsearchable.c_str(), 0600);
    age(unsearchable, hours(48));
    age(stale, hours(48));

    const auto sweep = [&] {
        bool unsearchableTrashed = false, staleTrashed = false;
        LibraryStore swept{{library,
                            [&](const fs::path& path) -> std::optional<std::string> {
                                (path == unsearchable ? unsearchableTrashed : staleTrashed) = true;
                                return "kept for the test";
                            },
                            &clock}};
        swept.sweep();
        swept.drain();
        return (unsearchableTrashed ? 1 : 0) | (staleTrashed ? 2 : 0);
    };
    int outcome = 0;
    if (administrator) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(::setgid(nobody) == 0 && ::setuid(nobody) == 0 ? sweep() : 8);
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome = WIFEXITED(status) ? WEXITSTATUS(status) : 16;
    } else {
        outcome = sweep();
    }
    EXPECT_EQ(outcome, 2) << "1: the unsearchable batch was trashed; 8: could not become nobody";
    ::chmod(unsearchable.c_str(), 0700);
    fs::remove_all(made);
}

TEST_F(LibraryStoreOnDisk, TheSweepRemovesItsOwnTemporariesOnceADayOld)
{
    const BatchRecord record = batch(1);
    store.saveBatch(record);
    store.drain();
    const fs::path images = store.imageFolder(record.id, record.images[0]);
    const std::string digits(32, 'A');
    const fs::path old = store.batchFolder(record.id) / ("batch.json.tmp-" + digits);
    const fs::path oldRender = images / ("render.png.tmp-" + digits);
    const fs::path fresh = images / ("image.json.tmp-" + std::string(32, '7'));
    const fs::path someoneElses = images / "render.png.tmp-mine";
    for (const auto& file : {old, oldRender, fresh, someoneElses}) writeRaw(file, "half a file");
    for (const auto& file : {old, oldRender, someoneElses}) age(file, seconds(86'401));
    age(fresh, seconds(3'600));

    store.sweep();
    store.drain();
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(oldRender));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(someoneElses));
    EXPECT_EQ(store.list().size(), 1u);
}

TEST_F(LibraryStoreOnDisk, TheLibraryIsItsOwnersAlone)
{
    ::chmod(root.c_str(), 0755); // as an earlier version made it
    LibraryStore reopened{{root, moveToTrash, &clock}};
    const BatchRecord record = batch(1);
    reopened.saveBatch(record);
    reopened.saveImage(image(record.images[0]), record.id);
    reopened.write({0xFF, 0xD8}, reopened.imageFolder(record.id, record.images[0]) / "thumb.jpg");
    reopened.drain();
    const auto mode = [](const fs::path& path) {
        struct stat status {};
        EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
        return status.st_mode & 07777;
    };
    const fs::path images = reopened.imageFolder(record.id, record.images[0]);
    EXPECT_EQ(mode(root), 0700u);
    for (const auto& folder : {reopened.batchFolder(record.id), images.parent_path(), images})
        EXPECT_EQ(mode(folder), 0700u) << folder;
    for (const auto& file :
         {reopened.batchFolder(record.id) / "batch.json", images / "image.json", images / "thumb.jpg"})
        EXPECT_EQ(mode(file), 0600u) << file;
}

TEST_F(LibraryStoreOnDisk, AWriteNeverFollowsALinkOutOfTheLibrary)
{
    const fs::path outside = root.parent_path() / ("outside-" + root.filename().string());
    fs::create_directories(outside);
    const BatchRecord linkedBatch = batch(1);
    fs::create_directory_symlink(outside, root / linkedBatch.id.text());
    const BatchRecord linkedImages = batch(1);
    fs::create_directories(store.batchFolder(linkedImages.id));
    fs::create_directory_symlink(outside, store.batchFolder(linkedImages.id) / "images");

    ::testing::internal::CaptureStderr();
    store.saveBatch(linkedBatch);
    store.saveImage(image(linkedBatch.images[0]), linkedBatch.id);
    store.saveImage(image(linkedImages.images[0]), linkedImages.id);
    store.write({0xFF, 0xD8}, store.imageFolder(linkedImages.id, linkedImages.images[0]) / "thumb.jpg");
    store.drain();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_empty(outside)) << fs::directory_iterator(outside)->path();
    EXPECT_NE(log.find("oxel pro library: could not write batch.json: " + linkedBatch.id.text() +
                       ": a link or a file stands where the folder should be"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("could not write thumb.jpg: images: a link"), std::string::npos) << log;
    fs::remove_all(outside);
}

TEST_F(LibraryStoreOnDisk, DeletingABatchMovesItToTheTrashOrReportsWhy)
{
    const BatchRecord record = batch(1);
    store.saveBatch(record);
    store.saveImage(image(record.images[0]), record.id);

    refusal = "no trash on this mount";
    EXPECT_EQ(store.deleteBatch(record.id), "no trash on this mount");
    EXPECT_TRUE(fs::exists(root / record.id.text() / "batch.json"));

    refusal.reset();
    EXPECT_EQ(store.deleteBatch(record.id), std::nullopt);
    EXPECT_FALSE(fs::exists(root / record.id.text()));
    EXPECT_TRUE(isInTrash(root / record.id.text()));
    EXPECT_TRUE(store.list().empty());
    EXPECT_TRUE(store.deleteBatch(record.id)); // already gone
}

TEST_F(LibraryStoreOnDisk, SizeSumsTheBatchsFilesWithoutFollowingLinks)
{
    const BatchRecord record = batch(1);
    store.write(std::vector<uint8_t>(1000, 1), store.imageFolder(record.id, record.images[0]) / "render.jpg");
    store.write(std::vector<uint8_t>(234, 2), store.batchFolder(record.id) / "batch.json");
    store.drain();
    writeRaw(root / "outside.bin", std::string(50'000, 'x'));
    fs::create_symlink(root / "outside.bin", store.batchFolder(record.id) / "link.bin");
    fs::create_directory_symlink(root, store.batchFolder(record.id) / "loop");
    EXPECT_EQ(store.size(record.id), 1234);
    EXPECT_EQ(store.size(Uuid::random()), 0);
}

TEST_F(LibraryStoreOnDisk, AFailedWriteIsLoggedAndTheNextSaveWritesAgain)
{
    const BatchRecord record = batch(0);
    writeRaw(store.batchFolder(record.id), "a file where the folder should be");
    ::testing::internal::CaptureStderr();
    store.saveBatch(record);
    store.write({1, 2}, root / ".." / "escaped.bin");
    store.drain();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("oxel pro library: could not write batch.json: "), std::string::npos) << log;
    EXPECT_NE(log.find("oxel pro library: could not write escaped.bin: "), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(root.parent_path() / "escaped.bin"));

    fs::remove(store.batchFolder(record.id));
    store.saveBatch(record);
    EXPECT_EQ(store.list().size(), 1u);
}

// The library folder moved aside, replaced by a copy, or its link pointed at a copy while a program
// holds it: that program never makes it again nor changes anything in what the path names now.
TEST_F(LibraryStoreOnDisk, OnlyTheFolderLockedIsWrittenWhateverItsPathNamesNow)
{
    const fs::path library = root / "Library", aside = root / "aside", copy = root.string() + "-copy";
    const auto tree = [&] {
        std::map<fs::path, fs::file_time_type> times{{library, fs::last_write_time(library)}};
        for (const auto& entry : fs::recursive_directory_iterator(library))
            times[entry.path()] = entry.last_write_time();
        return times;
    };
    for (int way : {0, 1, 2}) {
        if (way == 2) fs::create_directories(aside), fs::create_directory_symlink(aside, library);
        auto first = LibraryLock::take(library, std::nullopt);
        LibraryStore holder{{library, moveToTrash, &clock, std::nullopt, false, first.lock->folder()}};
        const BatchRecord record = batch(1);
        holder.saveBatch(record);
        holder.drain();
        if (way < 2) fs::rename(library, aside);
        if (way > 0) fs::copy(aside, way == 1 ? library : copy, fs::copy_options::recursive);
        if (way == 2) fs::remove(library), fs::create_directory_symlink(copy, library);
        EXPECT_TRUE(holder.cannotWrite() && fs::exists(library) == (way > 0)) << "made again";
        auto second = LibraryLock::take(library, std::nullopt);
        const auto before = tree();
        holder.saveImage(image(record.images[0]), record.id);
        holder.removeImageFolder(record.id, record.images[0]);
        EXPECT_TRUE(holder.deleteBatch(record.id)) << way;
        EXPECT_EQ(tree(), before) << way;
        for (const auto& path : {library, aside, copy}) fs::remove_all(path);
    }
}

TEST(LibraryStoreRoot, FollowsTheIdentifier)
{
    EXPECT_EQ(LibraryStore::standardRoot("pro.oxel.desktop.dev").filename(), "Library");
    EXPECT_EQ(LibraryStore::standardRoot("pro.oxel.desktop.dev").parent_path().filename(), "oxel pro dev");
    EXPECT_EQ(LibraryStore::standardRoot("pro.oxel.desktop").parent_path().filename(), "oxel pro");
    EXPECT_EQ(LibraryStore::standardRoot("").parent_path().filename(), "oxel pro");
    EXPECT_EQ(LibraryStore::standardRoot("pro.oxel.devices").parent_path().filename(), "oxel pro");
}

} // namespace
} // namespace oxel
