#include "LibraryFixture.h"

#include "export/Exporter.h"
#include "support/PictureFiles.h"

#include <cmath>
#include <fstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A picture with shapes in it, so that scene fingerprints tell two of them apart; `seed` moves
// the shapes.
test::Pattern sceneOf(int width, int height, int seed)
{
    return [=](int x, int y, int c) {
        const double u = double(x) / width, v = double(y) / height;
        const double cx = 0.3 + 0.4 * ((seed * 37) % 10) / 10.0, cy = 0.3 + 0.4 * ((seed * 53) % 10) / 10.0;
        const double disc = std::hypot(u - cx, v - cy) < 0.18 ? 0.6 : 0.0;
        const double bars = std::sin((u * (3 + seed) + v * (2 + seed % 3)) * 12.0) > 0.3 ? 0.25 : 0.0;
        return std::clamp(0.1 + disc + bars + 0.05 * c, 0.0, 1.0);
    };
}

class OriginalCheckTest : public LibraryTest {
protected:
    fs::path writeScene(const fs::path& name, int seed, int width = 600, int height = 400)
    {
        const auto path = folder / name;
        fs::create_directories(path.parent_path());
        test::JPEGOptions options;
        options.icc = test::iccProfile("sRGB");
        test::writeFile(path, test::encodeJPEG(width, height, sceneOf(width, height, seed), options));
        return path;
    }
    OriginalRef refOf(const fs::path& file, bool handoff = false, std::optional<std::string> sender = {})
    {
        return OriginalRef::make(file, SourceImage::load(file), handoff, std::move(sender), places.volumes);
    }
    OriginalCheck check(const OriginalRef& ref, const std::optional<FileStamp>& sentBack = {})
    {
        return OriginalCheck::of(ref, sentBack, cacheFile, places);
    }
    // The original written over by a layered result of itself, made by the export engine.
    FileStamp sendBackLayered(const fs::path& original, ExportFormat format)
    {
        const auto source = SourceImage::load(original);
        const DevelopInput outcome("job-1", source.image,
                                   DetailTransfer(source.image, source.image, source.colorSpace));
        ExportOptions options;
        options.format = format;
        options.tiffLayered = true;
        const auto written = folder / ("sent" + original.extension().string());
        EXPECT_FALSE(
            std::holds_alternative<ExportFailure>(exportPicture(source, outcome, {false, 1.0, 1.0}, written, options)));
        fs::rename(written, original);
        return *FileStamp::of(original);
    }

    OriginalPlaces places{Volumes::current(), folder / "home"};
    fs::path cacheFile = folder / "cache" / "originals" / "A.tif";
};

TEST_F(OriginalCheckTest, AFileRenamedInItsFolderIsFoundAndItsPathWrittenBack)
{
    const auto file = writeScene("cards/a.jpg", 1);
    const auto ref = refOf(file);
    fs::rename(file, folder / "cards" / "renamed.jpg");
    const auto answer = check(ref);
    const auto* found = answer.found();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->url, folder / "cards" / "renamed.jpg");
    EXPECT_EQ(found->ref.path, (folder / "cards" / "renamed.jpg").string());
    EXPECT_NE(found->ref.bookmark, ref.bookmark);
    EXPECT_EQ(found->ref.stamp, ref.stamp);
    EXPECT_EQ(found->source.pixelWidth, 600);
}

TEST_F(OriginalCheckTest, BookmarkBytesThatDoNotDecodeFallBackToThePath)
{
    const auto file = writeScene("a.jpg", 1);
    auto ref = refOf(file);
    ref.bookmark = std::vector<uint8_t>{'{', 0xff, 0x00, '"'};
    const auto answer = check(ref);
    ASSERT_TRUE(answer.found());
    EXPECT_EQ(answer.found()->url, file);
    EXPECT_EQ(answer.found()->ref, ref);
}

TEST_F(OriginalCheckTest, TouchedResavedAndUndatedFilesAreJudgedByTheirPicture)
{
    const auto file = writeScene("a.jpg", 1);
    const auto ref = refOf(file);
    ASSERT_FALSE(ref.captured);
    fs::last_write_time(file, fs::last_write_time(file) + 20s);
    // Undated: the pixel size alone decides, and the new stamp is taken.
    const auto touched = check(ref);
    ASSERT_TRUE(touched.found());
    EXPECT_EQ(touched.found()->ref.stamp, FileStamp::of(file));

    auto dated = ref;
    dated.captured = std::chrono::system_clock::now();
    const auto undatedFile = check(dated);
    ASSERT_TRUE(std::holds_alternative<OriginalCheck::Changed>(undatedFile.answer));
    EXPECT_EQ(std::get<OriginalCheck::Changed>(undatedFile.answer).text, OriginalCheck::changedSince);

    writeScene("a.jpg", 1, 640, 400);
    const auto resaved = check(ref);
    ASSERT_TRUE(std::holds_alternative<OriginalCheck::Changed>(resaved.answer));
    EXPECT_EQ(std::get<OriginalCheck::Changed>(resaved.answer).text,
              "changed in another app since · locate the original…");

    std::ofstream(file, std::ios::trunc) << "not a picture";
    const auto unreadable = check(ref);
    ASSERT_TRUE(std::holds_alternative<OriginalCheck::Offline>(unreadable.answer));
    EXPECT_EQ(std::get<OriginalCheck::Offline>(unreadable.answer).text, "offline · could not read the original");
}

TEST_F(OriginalCheckTest, AMissingOriginalIsOfflineOnItsDiskOrMoved)
{
    OriginalRef ref;
    ref.path = "/media/OXELCARD/DCIM/a.jpg";
    ref.volume = "OXELCARD";
    ref.pixels = {600, 400};
    auto textOf = [&](const OriginalRef& reference) {
        const auto answer = check(reference);
        EXPECT_TRUE(std::holds_alternative<OriginalCheck::Offline>(answer.answer));
        return std::holds_alternative<OriginalCheck::Offline>(answer.answer)
                   ? std::get<OriginalCheck::Offline>(answer.answer).text
                   : std::string();
    };
    EXPECT_EQ(textOf(ref), "offline · on OXELCARD, not connected");

    auto mounts = places.volumes.mounts();
    mounts.push_back({"/media/OXELCARD", 0x7e57, 0x7e57});
    places.volumes = Volumes(mounts);
    EXPECT_EQ(textOf(ref), "offline · the original has moved · locate it…");

    places.volumes = Volumes::current();
    auto atHome = ref;
    atHome.path = (places.home / "Pictures" / "a.jpg").string();
    EXPECT_EQ(textOf(atHome), "offline · the original has moved · locate it…");
    auto noVolume = ref;
    noVolume.volume.reset();
    EXPECT_EQ(textOf(noVolume), "offline · the original has moved · locate it…");
}

TEST_F(OriginalCheckTest, ALayeredSendBackIsReadThroughTheKeptOriginal)
{
    for (const auto& [name, format] : std::vector<std::pair<std::string, ExportFormat>>{
             {"handed.psd", ExportFormat::psd}, {"handed.tif", ExportFormat::tiff}}) {
        SCOPED_TRACE(name);
        fs::remove(cacheFile);
        const auto original = folder / name;
        test::writeFile(original, format == ExportFormat::psd ? test::encodePSD(300, 200, sceneOf(300, 200, 2))
                                                              : test::encodeTIFF(300, 200, sceneOf(300, 200, 2)));
        const auto ref = refOf(original, true, "Shotwell");
        const auto sentBack = sendBackLayered(original, format);

        const auto first = check(ref, sentBack);
        ASSERT_TRUE(first.found());
        EXPECT_EQ(first.found()->url, original);
        EXPECT_EQ(first.found()->ref.stamp, ref.stamp);
        EXPECT_EQ(first.found()->source.pixelWidth, 300);
        ASSERT_TRUE(fs::exists(cacheFile));
        const auto written = fs::last_write_time(cacheFile);

        ASSERT_TRUE(check(ref, sentBack).found());
        EXPECT_EQ(fs::last_write_time(cacheFile), written) << "reused";

        // Kept before the send back, it is the host's file as handed over: never written again.
        fs::last_write_time(cacheFile, written - 1h);
        ASSERT_TRUE(check(ref, sentBack).found());
        EXPECT_EQ(fs::last_write_time(cacheFile), written - 1h) << "kept";

        // A cache file that is no picture is read out of the sent-back file again.
        std::ofstream(cacheFile, std::ios::trunc) << "not a picture";
        const auto again = check(ref, sentBack);
        ASSERT_TRUE(again.found());
        EXPECT_EQ(again.found()->source.pixelWidth, 300);
    }
}

TEST_F(OriginalCheckTest, AFlatOrDamagedSendBackNamesWhereItWent)
{
    const auto original = writeScene("flat.jpg", 3);
    const auto ref = refOf(original, true, "Shotwell");
    writeScene("flat.jpg", 4);
    const auto flat = check(ref, FileStamp::of(original));
    ASSERT_TRUE(std::holds_alternative<OriginalCheck::Changed>(flat.answer));
    EXPECT_EQ(std::get<OriginalCheck::Changed>(flat.answer).text,
              "sent back to shotwell · could not read the original out of it");
    EXPECT_FALSE(fs::exists(cacheFile));

    const auto layered = folder / "damaged.psd";
    test::writeFile(layered, test::encodePSD(300, 200, sceneOf(300, 200, 2)));
    const auto unsent = refOf(layered, true);
    sendBackLayered(layered, ExportFormat::psd);
    fs::resize_file(layered, fs::file_size(layered) / 3);
    const auto damaged = check(unsent, FileStamp::of(layered));
    ASSERT_TRUE(std::holds_alternative<OriginalCheck::Changed>(damaged.answer));
    EXPECT_EQ(std::get<OriginalCheck::Changed>(damaged.answer).text,
              "sent back to where it came from · could not read the original out of it");
}

class RelinkTest : public OriginalCheckTest {
protected:
    // A batch of the scenes in "shoot", reopened after the folder was moved to "moved".
    Uuid reopenedAfterMove(const std::vector<int>& seeds, bool developed)
    {
        std::vector<fs::path> files;
        for (int seed : seeds) files.push_back(writeScene("shoot/s" + std::to_string(seed) + ".jpg", seed));
        const auto id = developed ? developedBatch(files) : storedBatch(files);
        fs::rename(folder / "shoot", folder / "moved");
        openAndRestore(id);
        for (const auto& item : model->items()) EXPECT_EQ(item->availability().kind, Availability::Kind::offline);
        return id;
    }
    void locate(const std::shared_ptr<BatchItem>& item, std::optional<fs::path> choice)
    {
        if (choice) panels.choices.push_back(std::vector<fs::path>{*choice});
        model->locateOriginal(item);
        runIdle();
        // Past the debounced save of what was relinked.
        loop.advance(1s);
        model->library().drain();
    }
};

TEST_F(RelinkTest, ACancelledPanelChangesNothingAndAskedForTheFile)
{
    reopenedAfterMove({1}, false);
    const auto item = model->items()[0];
    locate(item, std::nullopt);
    ASSERT_EQ(panels.panelsShown.size(), 1u);
    EXPECT_EQ(panels.panelsShown[0].message, "find s1.jpg");
    EXPECT_EQ(panels.panelsShown[0].prompt, "use this one");
    EXPECT_FALSE(panels.panelsShown[0].allowsMultipleSelection);
    EXPECT_FALSE(panels.panelsShown[0].canChooseDirectories);
    EXPECT_EQ(item->availability().kind, Availability::Kind::offline);
    EXPECT_FALSE(item->source());
    EXPECT_TRUE(model->saving().dirty().empty());
}

TEST_F(RelinkTest, AnotherPhotographIsRefusedUnlessOnlyItsSizeAndDateCanBeCompared)
{
    const auto id = reopenedAfterMove({1}, false);
    const auto item = model->items()[0];
    const auto other = writeScene("elsewhere/other.jpg", 6);
    locate(item, other);
    EXPECT_EQ(model->statusLine(), "that is not the same photograph");
    EXPECT_EQ(item->availability().kind, Availability::Kind::offline);

    fs::remove(imageFolder(id, item->id) / "original.jpg");
    locate(item, other);
    EXPECT_EQ(item->availability(), Availability::present());
    EXPECT_EQ(item->url(), other);
}

TEST_F(RelinkTest, TheRightFileIsRelinkedAndItsResultRebuilt)
{
    const auto id = reopenedAfterMove({1}, true);
    const auto item = model->items()[0];
    EXPECT_TRUE(item->phase().is<phase::Done>());
    EXPECT_FALSE(item->result());
    locate(item, folder / "moved" / "s1.jpg");
    EXPECT_EQ(item->availability(), Availability::present());
    EXPECT_TRUE(item->phase().is<phase::Done>());
    EXPECT_TRUE(item->result());
    EXPECT_TRUE(item->previewImage());
    EXPECT_EQ(storedImage(id, item->id).original.path, (folder / "moved" / "s1.jpg").string());
}

TEST_F(RelinkTest, OneChoiceBringsBackTheMissingOriginalsBesideIt)
{
    const auto id = reopenedAfterMove({1, 2, 3}, false);
    locate(model->items()[1], folder / "moved" / "s2.jpg");
    for (const auto& item : model->items()) {
        SCOPED_TRACE(item->url().string());
        EXPECT_EQ(item->availability(), Availability::present());
        EXPECT_TRUE(item->source());
        EXPECT_EQ(item->url().parent_path(), folder / "moved");
        EXPECT_EQ(storedImage(id, item->id).original.path, item->url().string());
    }
}

} // namespace
} // namespace oxel::testing
