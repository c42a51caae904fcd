#include "ExportFixture.h"

#include "model/HandedOverFile.h"
#include "support/PictureFiles.h"

#include <fstream>

#include <sys/stat.h>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

ino_t inodeOf(const fs::path& file)
{
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

class SendBackTest : public ExportTest {
protected:
    fs::path writeFile(const std::string& name, const test::Bytes& bytes)
    {
        const auto path = folder / "host" / name;
        fs::create_directories(path.parent_path());
        test::writeFile(path, bytes);
        return path;
    }
    void sendBackAndWait()
    {
        model->sendBack();
        runExports();
        ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    }
    fs::path copyOf(const BatchItem& item) const { return folder / "originals" / (item.id.text() + ".handed-over"); }
};

TEST_F(SendBackTest, EachFormatReturnsInItsOwnKindOverTheHostsFile)
{
    const int w = 240;
    const int h = 160;
    const auto png =
        writeFile("eight.png", test::encodePNG(w, h, test::gradientOf(w, h), {.icc = test::iccProfile("DisplayP3")}));
    const auto tiff = writeFile("sixteen.tif", test::encodeTIFF(w, h, test::gradientOf(w, h), {.bitsPerSample = 16}));
    const auto psd = writeFile("layers.psd", test::encodePSD(w, h, test::gradientOf(w, h), {.depth = 8}));
    const auto profileBefore = profileDescription(png);
    const auto inodeBefore = inodeOf(png);
    auto items = handedOver({png, tiff, psd});
    ASSERT_EQ(model->sendBackItems().size(), 3u);
    sendBackAndWait();

    for (const auto& item : items) {
        SCOPED_TRACE(item->url().filename().string());
        EXPECT_FALSE(item->lastError()) << *item->lastError();
        ASSERT_TRUE(item->sentBack);
        EXPECT_TRUE(item->sentBack->agreesWith(*FileStamp::of(item->url())));
        // The true original is kept aside, and the picture is developed from it from now on.
        EXPECT_TRUE(fs::exists(copyOf(*item)));
        ASSERT_TRUE(item->source());
        EXPECT_EQ(item->source()->url, copyOf(*item));
        EXPECT_EQ(item->url().parent_path(), folder / "host");
    }
    EXPECT_EQ(magickFormat(png), "PNG 8");
    EXPECT_EQ(profileDescription(png), profileBefore);
    EXPECT_NE(inodeOf(png), inodeBefore);
    EXPECT_EQ(items[0]->note(), "flat png · layers need psd or tiff");

    const auto info = tiffInfo(tiff);
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info.substr(0, 600);
    EXPECT_NE(info.find("Adobe Photoshop Document Data Block"), std::string::npos) << "no layers";
    EXPECT_TRUE(psdToolsReading(psd).starts_with("16 ")) << psdToolsReading(psd);
    EXPECT_EQ(entriesOf(folder / "host"), (std::vector<std::string>{"eight.png", "layers.psd", "sixteen.tif"}));
}

TEST_F(SendBackTest, OpenedPicturesAreNeverWrittenOver)
{
    const auto file = writeJPEG("opened.jpg");
    const auto before = test::readFile(file);
    developed({file});
    EXPECT_TRUE(model->sendBackItems().empty());
    model->sendBack();
    EXPECT_EQ(model->exportsPending(), 0);
    runExports();
    EXPECT_EQ(test::readFile(file), before);
}

TEST_F(SendBackTest, AFileChangedOrTurnedIntoARawFileIsLeftAlone)
{
    const auto changed = writeJPEG("host/changed.jpg");
    const auto raw = writeJPEG("host/raw.jpg");
    const auto gone = writeJPEG("host/gone.jpg");
    model->launchedByHandoff = true;
    auto items = handedOver({changed, raw, gone});
    ASSERT_EQ(items.size(), 3u);

    std::ofstream(changed, std::ios::app) << "more bytes";
    // Same size and time, but the bytes of a camera raw file.
    const auto time = fs::last_write_time(raw);
    auto bytes = test::readFile(raw);
    const test::Bytes rawStart = {'I', 'I', 0x55, 0x00, 8, 0, 0, 0};
    std::copy(rawStart.begin(), rawStart.end(), bytes.begin());
    test::writeFile(raw, bytes);
    fs::last_write_time(raw, time);
    const auto rawBytes = test::readFile(raw);
    fs::remove(gone);

    sendBackAndWait();
    const std::string changedNote = "not sent back · the file changed since it was handed over";
    EXPECT_EQ(items[0]->note(), changedNote);
    EXPECT_EQ(items[1]->note(), "not sent back · this kind of file can't be written back");
    EXPECT_EQ(items[1]->lastError(), "this kind of file can't be written back");
    EXPECT_EQ(items[2]->note(), "not sent back · the handed-over file is gone · export it instead");
    for (const auto& item : items) {
        EXPECT_FALSE(item->sentBack);
        EXPECT_FALSE(item->exportProgress());
        EXPECT_FALSE(item->exportWaiting());
    }
    EXPECT_EQ(test::readFile(raw), rawBytes);
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_EQ(entriesOf(folder / "host"), (std::vector<std::string>{"changed.jpg", "raw.jpg"}));
    // The watcher keeps the application open.
    loop.advance(std::chrono::seconds(5));
    EXPECT_EQ(control.quitRequests, 0);
}

TEST_F(SendBackTest, AHostSaveDuringTheExportIsKeptAndTheSendBackRefused)
{
    const auto file = writeJPEG("host/saved.jpg");
    const auto hostSave = test::readFile(writeJPEG("elsewhere/other.jpg", 320, 240));
    model->launchedByHandoff = true;
    auto items = handedOver({file});
    ASSERT_EQ(items.size(), 1u);
    const auto item = items[0];
    // The host saves its file after the check passed, while the picture is being exported.
    bool saved = false;
    Connection saving = item->changed.connect([&](BatchItem::Field field) {
        if (field != BatchItem::Field::exportWaiting || item->exportWaiting() || saved) return;
        test::writeFile(file, hostSave);
        saved = true;
    });
    sendBackAndWait();
    ASSERT_TRUE(saved);
    EXPECT_EQ(test::readFile(file), hostSave);
    EXPECT_EQ(item->note(), "not sent back · the file changed since it was handed over");
    EXPECT_EQ(item->lastError(), "the file changed since it was handed over");
    EXPECT_FALSE(item->sentBack);
    EXPECT_EQ(entriesOf(folder / "host"), (std::vector<std::string>{"saved.jpg"}));
    loop.advance(std::chrono::seconds(5));
    EXPECT_EQ(control.quitRequests, 0);
}

TEST_F(SendBackTest, ASecondRoundDevelopsTheTrueOriginal)
{
    const auto file = writeJPEG("host/again.jpg", 400, 300);
    auto items = handedOver({file}, "darktable");
    auto item = items[0];
    ExportOptions jpeg{.format = ExportFormat::jpeg, .sixteenBit = false};
    model->startExport(item, out() / "before.jpg", jpeg, false);
    runExports();
    sendBackAndWait();
    ASSERT_TRUE(item->sentBack);
    // On disk at once: killed now, a reopened batch must not take the sent-back file for the original.
    library.drain();
    EXPECT_TRUE(jsonOf(imageFolder(*item) / "image.json")->contains("sentBack"));
    const auto copy = test::readFile(copyOf(*item));

    model->startExport(item, out() / "after.jpg", jpeg, false);
    runExports();
    EXPECT_EQ(pixelDigest(out() / "after.jpg"), pixelDigest(out() / "before.jpg"));

    const auto firstBack = pixelDigest(file);
    sendBackAndWait();
    EXPECT_FALSE(item->lastError()) << *item->lastError();
    EXPECT_EQ(pixelDigest(file), firstBack);
    EXPECT_EQ(test::readFile(copyOf(*item)), copy);
}

// Quit and started again, the batch develops each picture from the original kept aside, whether
// the file sent back over it holds that original as a layer or not.
TEST_F(SendBackTest, ABatchSentBackOverAnyKindOfFileReopensOnItsTrueOriginal)
{
    const auto tiff = writeFile("shot.tif", test::encodeTIFF(300, 200, test::gradientOf(300, 200)));
    const auto psd = writeFile("shot.psd", test::encodePSD(300, 200, test::gradientOf(300, 200), {.depth = 8}));
    const auto heic = folder / "host" / "shot.heic";
    run(layeredtest::magick("convert '" + tiff.string() + "' '" + heic.string() + "'"));
    const auto items = handedOver({writeJPEG("host/shot.jpg"), writePNG("host/shot.png"), tiff, psd, heic});
    ASSERT_EQ(items.size(), 5u);
    sendBackAndWait();
    const Uuid batch = model->batch()->id;
    library.drain();
    // Each kept original is the host's file as handed over, even when the write that followed
    // crossed into another second.
    std::map<Uuid, test::Bytes> kept;
    for (const auto& item : items) {
        kept[item->id] = test::readFile(copyOf(*item));
        fs::last_write_time(copyOf(*item), fs::last_write_time(copyOf(*item)) - std::chrono::seconds(2));
    }

    makeModel().openBatch(batch);
    ASSERT_TRUE(runUntil([&] {
        return model->tasks().runningCount() == 0 &&
               std::all_of(model->items().begin(), model->items().end(),
                           [](const auto& item) { return item->phase().template is<phase::Done>(); });
    }));
    for (const auto& item : model->items()) {
        SCOPED_TRACE(item->url().filename().string());
        EXPECT_EQ(item->availability(), Availability::present()) << item->availability().detail;
        EXPECT_TRUE(item->result());
        ASSERT_TRUE(item->source());
        EXPECT_EQ(item->source()->url, copyOf(*item));
        EXPECT_EQ(test::readFile(copyOf(*item)), kept[item->id]);
    }
}

// The host moved the file a result went back over. Reopened, the picture keeps its result on the
// original kept aside; located, the moved file is the host's again and takes the next send back.
TEST_F(SendBackTest, AMovedSentBackFileKeepsItsResultAndIsFoundAgain)
{
    handedOver({writeJPEG("host/shot.jpg")});
    sendBackAndWait();
    const Uuid batch = model->batch()->id;
    library.drain();
    const auto moved = folder / "host" / "2026" / "shot.jpg";
    fs::create_directories(moved.parent_path());
    fs::rename(folder / "host" / "shot.jpg", moved);

    makeModel().openBatch(batch);
    const auto item = model->items().at(0);
    for (const bool located : {false, true}) {
        if (located) model->adoptLocatedOriginal(moved, item);
        ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0 && item->phase().is<phase::Done>(); }));
        EXPECT_EQ(item->availability().kind, located ? Availability::Kind::present : Availability::Kind::offline);
        EXPECT_TRUE(item->result());
        EXPECT_EQ(item->source() ? item->source()->url : fs::path(), copyOf(*item));
        EXPECT_EQ(model->sendBackItems().size(), located ? 1u : 0u);
    }
    sendBackAndWait();
    EXPECT_EQ(item->lastError(), std::nullopt);
    EXPECT_TRUE(item->sentBack && item->sentBack->agreesWith(*FileStamp::of(moved)));
}

// The photographer's own copy of a handed-over picture whose file moved, located with "locate
// it…", is no file the host handed over: send back leaves it as it was, now and after a reopen.
TEST_F(SendBackTest, ALocatedCopyIsNeverWrittenOver)
{
    const auto items = handedOver({writeJPEG("host/moved.jpg"), writeJPEG("host/stays.jpg")});
    model->launchedByHandoff = true;
    const auto copy = folder / "archive" / "moved.jpg";
    fs::create_directories(copy.parent_path());
    fs::rename(folder / "host" / "moved.jpg", copy);
    model->adoptLocatedOriginal(copy, items[0]);
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    ASSERT_EQ(items[0]->url(), copy);
    const auto before = test::readFile(copy);
    // Not offered: "send 1 back" counts only the picture that goes.
    EXPECT_EQ(model->sendBackItems(), std::vector{items[1]});
    sendBackAndWait();
    // Its tile says why it did not go with the other.
    EXPECT_EQ(items[0]->note(), "not sent back · the file was located, not handed over · export it instead");
    EXPECT_FALSE(items[0]->sentBack);
    EXPECT_EQ(test::readFile(copy), before);
    EXPECT_TRUE(items[1]->sentBack);
    // The located picture, still to be exported, keeps the application open.
    loop.advance(std::chrono::seconds(5));
    EXPECT_EQ(control.quitRequests, 0);
    library.drain();
    EXPECT_EQ(jsonOf(imageFolder(*items[0]) / "image.json")->at("original").value("relinked", false), true);
}

TEST_F(SendBackTest, TheWatcherClosesOnceEverythingWentBack)
{
    struct Case {
        std::string name;
        bool launchedByHandoff;
        std::optional<std::string> sender;
        std::optional<std::string> status;
    };
    for (const auto& entry : {Case{"by hand-off", true, "Shotwell", "sent back to Shotwell · closing"},
                              Case{"no sender", true, std::nullopt, "sent back to where they came from · closing"},
                              Case{"opened by hand", false, "Shotwell", std::nullopt}}) {
        SCOPED_TRACE(entry.name);
        makeModel();
        control.quitRequests = 0;
        auto items =
            handedOver({writePNG("watch/" + entry.name + "/a.png"), writePNG("watch/" + entry.name + "/b.png")});
        model->launchedByHandoff = entry.launchedByHandoff;
        model->handoffSender = entry.sender;
        model->sendBack();
        ASSERT_TRUE(runUntil([&] { return model->exportsPending() == 0; }));
        if (!entry.status) {
            loop.advance(std::chrono::seconds(5));
            EXPECT_EQ(control.quitRequests, 0);
            continue;
        }
        ASSERT_TRUE(runUntil([&] { return model->statusLine() == entry.status; }));
        const auto announced = loop.elapsed();
        ASSERT_TRUE(runUntil([&] { return control.quitRequests == 1; }));
        EXPECT_GE(loop.elapsed() - announced, AppModel::sendBackClosing);
        loop.advance(std::chrono::seconds(5));
        EXPECT_EQ(control.quitRequests, 1);
    }
}

TEST_F(SendBackTest, AJobStillDevelopingKeepsTheApplicationOpen)
{
    handedOver({writePNG("busy/a.png")});
    model->launchedByHandoff = true;
    backend.setFaults({.staleJobs = true});
    drop({writeJPEG("busy/later.jpg")});
    model->process();
    ASSERT_TRUE(runUntil([&] { return model->inFlightCount() == 1; }));
    model->sendBack();
    ASSERT_TRUE(runUntil([&] { return model->exportsPending() == 0; }));
    loop.advance(std::chrono::seconds(3));
    EXPECT_TRUE(model->items()[0]->sentBack);
    EXPECT_EQ(control.quitRequests, 0);
    EXPECT_FALSE(model->statusLine() && model->statusLine()->starts_with("sent back"));
}

TEST(HandedOverFile, FormatsComeFromTheFilesOwnBytes)
{
    EXPECT_EQ(sendBackFormat(FileType::jpeg), ExportFormat::jpeg);
    EXPECT_EQ(sendBackFormat(FileType::heif), ExportFormat::heic);
    EXPECT_EQ(sendBackFormat(FileType::psb), ExportFormat::psd);
    EXPECT_EQ(sendBackFormat(FileType::tiff), ExportFormat::tiff);
    EXPECT_EQ(sendBackFormat(FileType::cameraRaw), std::nullopt);
    EXPECT_EQ(sendBackFormat(std::nullopt), std::nullopt);

    test::TempFolder folder;
    const auto named = folder / "really-a-png.jpg";
    test::writeFile(named, test::encodePNG(20, 10, test::gradientOf(20, 10)));
    const auto checked = HandedOverFile::check(named, FileStamp::of(named), std::nullopt);
    EXPECT_EQ(checked.format, ExportFormat::png);
    EXPECT_EQ(HandedOverFile::check(named, std::nullopt, std::nullopt).refusal, HandedOverFile::changedSince);
    // The copy lands whole, or the write is refused.
    const auto copied = HandedOverFile::check(named, FileStamp::of(named), folder / "cache" / "x.handed-over");
    EXPECT_EQ(copied.format, ExportFormat::png);
    EXPECT_EQ(test::readFile(folder / "cache" / "x.handed-over"), test::readFile(named));
    test::writeFile(folder / "blocker", {1});
    const auto refused = HandedOverFile::check(named, FileStamp::of(named), folder / "blocker" / "x.handed-over");
    EXPECT_EQ(refused.format, std::nullopt);
    EXPECT_EQ(refused.refusal, HandedOverFile::noCopy);
}

} // namespace
} // namespace oxel::testing
