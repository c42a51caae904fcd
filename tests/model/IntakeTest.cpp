#include "support/ModelFixture.h"

#include "develop/SourceImage.h"
#include "imaging/PictureCache.h"
#include "model/IntakeFiles.h"
#include "support/PictureFiles.h"

#include <fstream>
#include <thread>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

class IntakeTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }

    std::vector<std::string> itemNames() const
    {
        std::vector<std::string> names;
        for (const auto& item : model->items()) names.push_back(item->url().filename().string());
        return names;
    }
    // Every file under the library root.
    std::vector<fs::path> libraryFiles()
    {
        library.drain();
        std::vector<fs::path> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(library.root(), error), end; !error && it != end; it.increment(error))
            if (it->is_regular_file()) files.push_back(it->path());
        return files;
    }
};

TEST_F(IntakeTest, FolderGivesItsPicturesInNaturalOrderAndSkipsTheRest)
{
    const auto dropped = folder / "shoot";
    writeJPEG("shoot/a10.jpg");
    writeJPEG("shoot/a2.JPG");
    writePNG("shoot/B1.png");
    writeJPEG("shoot/.hidden.jpg");
    writeJPEG("shoot/inner/deep.jpg");
    fs::create_directories(dropped / "looks-like.jpg");
    std::ofstream(dropped / "notes.txt") << "not a picture";
    std::ofstream(dropped / "raw.cr2") << "not offered";

    drop({dropped});
    EXPECT_EQ(itemNames(), (std::vector<std::string>{"a2.JPG", "a10.jpg", "B1.png"}));
    EXPECT_EQ(model->statusLine(), "2 files skipped as not pictures");
    EXPECT_EQ(model->lastBatchSource(), "dropped");
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
    for (const auto& item : model->items()) {
        ASSERT_TRUE(item->thumbnail());
        EXPECT_EQ(item->thumbnail()->width(), 300);
        ASSERT_TRUE(item->original);
        EXPECT_EQ(item->origin, Origin::opened);
    }
    EXPECT_TRUE(libraryFiles().empty()); // no record yet: nothing is written
}

TEST_F(IntakeTest, NaturalOrderComparesDigitRunsByValue)
{
    EXPECT_TRUE(naturalLess("img2.jpg", "img10.jpg"));
    EXPECT_TRUE(naturalLess("IMG_0009.jpg", "img_10.jpg"));
    EXPECT_FALSE(naturalLess("b.jpg", "A.jpg"));
    EXPECT_TRUE(naturalLess("a.jpg", "a1.jpg"));
    EXPECT_EQ(standardized(folder / "x" / ".." / "y.jpg"), folder / "y.jpg");
    EXPECT_TRUE(expandFolder(folder / "missing").pictures.empty());
}

TEST_F(IntakeTest, UnreadableFilesAreNamedOrCountedAndAddNothing)
{
    const auto text = folder / "notes.txt";
    std::ofstream(text) << "hello";
    drop({text});
    EXPECT_TRUE(model->items().empty());
    EXPECT_EQ(model->statusLine(), "could not read notes.txt");

    const auto empty = folder / "empty.jpg";
    std::ofstream(empty).flush();
    auto whole = oxel::test::readFile(writeJPEG("whole.jpg"));
    const auto truncated = folder / "truncated.jpg";
    oxel::test::writeFile(truncated, oxel::test::Bytes(whole.begin(), whole.begin() + long(whole.size() / 3)));
    const auto missing = folder / "gone.jpg";
    const auto good = writeJPEG("good.jpg");
    drop({empty, truncated, good, missing});
    EXPECT_EQ(itemNames(), std::vector<std::string>{"good.jpg"});
    EXPECT_EQ(model->statusLine(), "3 files could not be read");

    // A folder's file that is not a picture is counted beside the one that could not be read.
    fs::create_directories(folder / "shoot");
    oxel::test::writeFile(folder / "shoot" / "cut.jpg", oxel::test::Bytes(whole.begin(), whole.begin() + 40));
    std::ofstream(folder / "shoot" / "notes.txt") << "not a picture";
    drop({folder / "shoot"});
    EXPECT_EQ(model->statusLine(), "could not read cut.jpg · 1 file skipped as not a picture");
}

TEST_F(IntakeTest, NotesTellAMissingProfileAndAnEightBitHandOff)
{
    const auto png = writePNG("plain.png");
    const auto jpeg = writeJPEG("eight.jpg");
    drop({png, jpeg});
    ASSERT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->items()[0]->note(), "no rgb profile · treated as sRGB");
    EXPECT_FALSE(model->items()[1]->note());

    makeModel();
    model->add({png, jpeg}, Origin::handoff, "from shotwell", "Shotwell");
    runImports();
    ASSERT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->items()[0]->note(), "no rgb profile · treated as sRGB");
    EXPECT_EQ(model->items()[1]->note(), "8-bit hand-off · 16-bit would be kinder to the layers");
    EXPECT_TRUE(model->items()[1]->original->handoff);
    EXPECT_EQ(model->items()[1]->original->sender, "Shotwell");
}

TEST_F(IntakeTest, StoredBatchGetsEachNewImageAtOnce)
{
    drop({writeJPEG("first.jpg", 1200, 800)});
    model->ensureBatchStored();
    drop({writeJPEG("second.jpg", 800, 1200)});
    ASSERT_EQ(model->items().size(), 2u);
    const auto& added = *model->items()[1];
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->batch()->images.back(), added.id);
    library.drain();
    EXPECT_TRUE(fs::exists(imageFolder(added) / "image.json"));
    const auto copy = SourceImage::load(imageFolder(added) / "original.jpg");
    EXPECT_EQ(copy.pixelHeight, 512);
    EXPECT_EQ(copy.pixelWidth, 341);
    // The record follows through the debounced save.
    loop.advance(std::chrono::milliseconds(600));
    auto stored = library.load(model->batch()->id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->record.images.size(), 2u);
}

TEST_F(IntakeTest, OnePhotographMakesOneItem)
{
    const auto picture = writeJPEG("once.jpg");
    const auto sameFile = folder / "sub" / ".." / "once.jpg";
    model->addDropped({picture, sameFile, picture});
    model->addDropped({picture}); // a second quick drop while the first is still reading
    runImports();
    EXPECT_EQ(itemNames(), std::vector<std::string>{"once.jpg"});

    model->setScreen(AppModel::Screen::results);
    int announced = 0;
    auto connection = model->changed.connect([&](AppModel::Field) { ++announced; });
    drop({sameFile});
    EXPECT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    EXPECT_EQ(announced, 0);
}

TEST_F(IntakeTest, ReadsGoOnWhileTheMainThreadTakesNoTurnAndComeInTogether)
{
    const size_t count = 3 * std::max(1u, std::thread::hardware_concurrency());
    std::vector<fs::path> files;
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        names.push_back("p" + std::to_string(i) + ".jpg");
        files.push_back(writeJPEG("busy/" + names.back(), 64, 48));
    }
    const auto madeBefore = PictureCache::shared().statistics().made;
    const auto read = [&] { return PictureCache::shared().statistics().made - madeBefore; };
    model->addDropped(files);
    // Once the reads have begun, the main thread takes no turn: every file is read all the same.
    ASSERT_TRUE(runUntil([&] { return read() > 0; }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (read() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(read(), count);
    // A read posts its picture back a moment after it is made.
    loop.waitForPendingWork();
    // Those read meanwhile come in together, in their order.
    int listChanges = 0;
    auto connection =
        model->changed.connect([&](AppModel::Field field) { listChanges += field == AppModel::Field::items; });
    runImports();
    EXPECT_EQ(listChanges, 1);
    EXPECT_EQ(itemNames(), names);
}

TEST_F(IntakeTest, NewBatchDuringADropLeavesTheNewBatchEmptyAndWritesNothing)
{
    for (int i = 0; i < 20; ++i) writeJPEG("many/p" + std::to_string(i) + ".jpg", 1600, 1000);
    model->addDropped({folder / "many"});
    ASSERT_TRUE(runUntil([&] { return model->items().size() >= 2; }));
    model->newBatch();
    runImports();
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->batch());
    EXPECT_TRUE(libraryFiles().empty());
}

TEST_F(IntakeTest, DropThatOutlivesAStoredBatchWritesNothingMoreIntoIt)
{
    drop({writeJPEG("first.jpg")});
    model->ensureBatchStored();
    const auto batch = model->batch()->id;
    for (int i = 0; i < 20; ++i) writeJPEG("many/p" + std::to_string(i) + ".jpg", 1600, 1000);
    model->addDropped({folder / "many"});
    ASSERT_TRUE(runUntil([&] { return model->items().size() >= 3; }));
    model->newBatch();
    runImports();
    loop.advance(std::chrono::seconds(2));
    EXPECT_TRUE(model->items().empty());
    auto stored = library.load(batch);
    ASSERT_TRUE(stored);
    const auto kept = stored->record.images.size();
    EXPECT_GE(kept, 3u);
    EXPECT_LT(kept, 21u);
    size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(library.batchFolder(batch) / "images"))
        folders += entry.is_directory();
    EXPECT_EQ(folders, kept);
}

} // namespace
} // namespace oxel::testing
