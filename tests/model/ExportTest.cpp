#include "ExportFixture.h"

#include "export/FlatWriter.h"
#include "model/ExportProgressFilter.h"
#include "platform/JsonFields.h"
#include "support/PictureFiles.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

ExportOptions optionsFor(ExportFormat format)
{
    ExportOptions options;
    options.format = format;
    options.sixteenBit = format == ExportFormat::psd;
    options.tiffLayered = false;
    return options;
}

// A picture the fixture cannot write (a full temporary folder) or develop stops the test there,
// before it goes on to use what never came.
TEST_F(ExportTest, APictureNotWrittenOrNotDevelopedStopsTheTest)
{
    EXPECT_THROW(test::writeFile(writeJPEG("a.jpg") / "inside", {1}), std::runtime_error);
    signOut();
    makeModel();
    EXPECT_THROW(developed({writeJPEG("b.jpg")}), std::runtime_error);
}

TEST_F(ExportTest, PlansOneFreeNamePerPictureAndFormat)
{
    const auto raw = writeJPEG("in/IMG_7.CR3");
    auto items = developed({raw, writeJPEG("other/IMG_7.CR3"), writeJPEG("in/leaf.jpg")});
    ASSERT_EQ(items.size(), 3u);
    makeColourOnly(*items[2]);
    const auto psd = optionsFor(ExportFormat::psd);
    const auto jpeg = optionsFor(ExportFormat::jpeg);

    struct Case {
        std::string name;
        std::vector<ExportOptions> options;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"psd alone", {psd}, {"IMG_7-oxel.psd", "IMG_7-oxel-2.psd", "leaf-colour-only.psd"}},
        {"psd and jpeg",
         {psd, jpeg},
         {"psd/IMG_7-oxel.psd", "jpeg/IMG_7-oxel.jpg", "psd/IMG_7-oxel-2.psd", "jpeg/IMG_7-oxel-2.jpg",
          "psd/leaf-colour-only.psd", "jpeg/leaf-colour-only.jpg"}},
        // Run again into the same folder: the names on disk are taken, and so are those planned
        // earlier in the same export.
        {"again", {psd}, {"IMG_7-oxel-3.psd", "IMG_7-oxel-4.psd", "leaf-colour-only-2.psd"}},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        const auto into = entry.name == "again" ? out() / "psd alone" : out() / entry.name;
        model->exportTo(entry.options, into);
        runExports();
        std::vector<std::string> written;
        for (const auto& item : items) {
            EXPECT_FALSE(item->lastError()) << *item->lastError();
            for (size_t i = item->exports.size() - entry.options.size(); i < item->exports.size(); ++i)
                written.push_back(fs::relative(item->exports[i].to, into).string());
        }
        EXPECT_EQ(written, entry.expected);
        for (const auto& file : written) EXPECT_TRUE(fs::exists(into / file)) << file;
    }
    EXPECT_EQ(magickFormat(out() / "psd and jpeg" / "jpeg" / "IMG_7-oxel.jpg"), "JPEG 8");
    EXPECT_TRUE(psdToolsReading(out() / "psd alone" / "IMG_7-oxel.psd").starts_with("16 "));
}

TEST_F(ExportTest, AFolderThatCannotBeMadeOrPicturesAlreadyExportingAreTold)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    std::ofstream(folder / "blocker") << "a file where the folder would go";
    model->exportTo({optionsFor(ExportFormat::jpeg)}, folder / "blocker" / "inside");
    ASSERT_TRUE(model->statusLine());
    EXPECT_TRUE(model->statusLine()->starts_with("export failed · could not make the folder " +
                                                 (folder / "blocker" / "inside").string() + ": "))
        << *model->statusLine();
    EXPECT_EQ(model->exportsPending(), 0);
    for (const auto& item : items) EXPECT_FALSE(item->exportProgress());

    model->exportTo({}, out());
    EXPECT_FALSE(fs::exists(out()));

    model->exportTo({optionsFor(ExportFormat::jpeg)}, out());
    EXPECT_EQ(model->exportsPending(), 3);
    model->exportTo({optionsFor(ExportFormat::jpeg)}, out());
    EXPECT_EQ(model->statusLine(), "3 already exporting · not exported again");
    runExports();
    EXPECT_EQ(entriesOf(out()), (std::vector<std::string>{"a-oxel.jpg", "b-oxel.jpg", "c-oxel.jpg"}));
}

TEST_F(ExportTest, AFailedExportStaysToldWhileOtherPicturesComeBackUntilThePhotographerActs)
{
    developed({writeJPEG("a.jpg")});
    drop({writeJPEG("b.jpg")});
    model->process();
    std::ofstream(folder / "blocker") << "a file where the folder would go";
    model->exportTo({optionsFor(ExportFormat::jpeg)}, folder / "blocker" / "inside");
    const auto failure = model->statusLine();
    ASSERT_TRUE(failure);
    ASSERT_TRUE(runUntil([&] { return model->items().at(1)->result() != nullptr; }));
    EXPECT_EQ(model->statusLine(), failure);

    model->exportTo({optionsFor(ExportFormat::jpeg)}, out());
    EXPECT_FALSE(model->statusLine());
    runExports();
}

TEST_F(ExportTest, ANameTooLongForTheFolderFailsWithANote)
{
    const std::string stem(248, 'n');
    auto items = developed({writeJPEG(stem + ".jpg")});
    ASSERT_EQ(items.size(), 1u);
    model->exportTo({optionsFor(ExportFormat::jpeg)}, out());
    runExports();
    ASSERT_TRUE(items[0]->lastError());
    EXPECT_TRUE(items[0]->note()->starts_with("export failed · ")) << *items[0]->note();
    EXPECT_TRUE(entriesOf(out()).empty());
}

TEST(ExportProgressFilter, LetsThroughSteps_TheEndAndNothingOnceClosed)
{
    ExportProgressFilter filter;
    std::vector<double> passed;
    for (double value : {0.05, 0.052, 0.056, 0.0585, 0.999, 1.0, 1.0})
        if (filter.pass(value)) passed.push_back(value);
    EXPECT_EQ(passed, (std::vector{0.05, 0.056, 0.999, 1.0, 1.0}));
    EXPECT_FALSE(filter.pass(std::nan("")));
    EXPECT_TRUE(filter.open());
    filter.close();
    EXPECT_FALSE(filter.open());
}

TEST_F(ExportTest, FivePicturesTakeThreeTurnsInTheOrderTheyAsked)
{
    std::vector<fs::path> files;
    for (int i = 1; i <= 5; ++i) files.push_back(writeJPEG("p" + std::to_string(i) + ".jpg", 900, 600));
    auto items = developed(files);
    ASSERT_EQ(items.size(), 5u);

    std::vector<Connection> connections;
    std::vector<int> started;
    int running = 0;
    int mostRunning = 0;
    std::map<int, std::vector<std::optional<double>>> progress;
    for (int i = 0; i < 5; ++i) {
        auto item = items[size_t(i)];
        connections.push_back(item->changed.connect([&, i, item](BatchItem::Field field) {
            if (field == BatchItem::Field::exportWaiting && !item->exportWaiting()) {
                started.push_back(i);
                mostRunning = std::max(mostRunning, ++running);
            }
            if (field == BatchItem::Field::exportProgress) {
                progress[i].push_back(item->exportProgress());
                if (!item->exportProgress() && !item->exportWaiting()) --running;
            }
        }));
    }
    model->exportTo({optionsFor(ExportFormat::tiff)}, out());
    EXPECT_EQ(model->exportsPending(), 5);
    runExports();

    EXPECT_EQ(started, (std::vector{0, 1, 2, 3, 4}));
    EXPECT_EQ(mostRunning, 3);
    for (auto& [i, values] : progress) {
        SCOPED_TRACE(i);
        // Planned at 0, started at 0, then the engine's steps; the outcome clears it last.
        ASSERT_GE(values.size(), 4u);
        EXPECT_EQ(values.front(), 0.0);
        EXPECT_FALSE(values.back());
        EXPECT_LE(values.size(), 203u);
        EXPECT_EQ(values[values.size() - 2], 1.0);
        for (size_t k = 0; k + 1 < values.size(); ++k) ASSERT_TRUE(values[k]) << "an update after the outcome";
    }
}

TEST_F(ExportTest, FailedFormatsAreJoinedAndOnlyTheFirstFileMarksTheDownload)
{
    auto items = developed({writeJPEG("a.jpg")});
    auto item = items[0];
    fs::create_directories(out());
    std::ofstream(out() / "psd") << "not a folder";
    std::ofstream(out() / "png") << "not a folder";
    model->exportTo({optionsFor(ExportFormat::psd), optionsFor(ExportFormat::png)}, out());
    runExports();
    ASSERT_TRUE(item->lastError());
    const auto& text = *item->lastError();
    EXPECT_TRUE(text.starts_with("psd: ")) << text;
    EXPECT_NE(text.find(" · png: "), std::string::npos) << text;
    EXPECT_EQ(item->note(), "export failed · " + text);
    EXPECT_TRUE(item->exports.empty());
    EXPECT_FALSE(item->phase().is<phase::Exported>());

    backend.forgetReceivedRequests();
    model->exportTo({optionsFor(ExportFormat::tiff), optionsFor(ExportFormat::jpeg)}, out() / "two");
    runExports();
    EXPECT_FALSE(item->lastError());
    EXPECT_FALSE(item->note()) << *item->note();
    EXPECT_TRUE(item->phase().is<phase::Exported>());
    EXPECT_EQ(item->exportedTo(), out() / "two" / "jpeg" / "a-oxel.jpg");
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    const auto jobId = item->result()->jobId;
    EXPECT_EQ(requestsTo("/jobs/" + jobId + "/download").size(), 1u);
    EXPECT_TRUE(backend.state().job(jobId)->downloaded);

    // The records reach image.json with the debounced save.
    loop.advance(BatchSaver::saveDelay + std::chrono::milliseconds(50));
    library.drain();
    auto record = jsonOf(imageFolder(*item) / "image.json");
    ASSERT_TRUE(record);
    ASSERT_EQ((*record)["exports"].size(), 2u);
    EXPECT_EQ((*record)["exports"][0]["format"], "tiff");
    EXPECT_EQ((*record)["exports"][1]["to"], (out() / "two" / "jpeg" / "a-oxel.jpg").string());
}

TEST_F(ExportTest, ColourOnlyExportsMarkNothingAndAFlatHandOffSaysSo)
{
    auto items = handedOver({writeJPEG("h.jpg")}, "shotwell");
    auto item = items[0];
    makeColourOnly(*item);
    fs::create_directories(out());
    backend.forgetReceivedRequests();
    model->startExport(item, out() / "h.jpg", optionsFor(ExportFormat::jpeg), true);
    EXPECT_EQ(model->exportsPending(), 1);
    EXPECT_TRUE(item->exportWaiting());
    runExports();
    EXPECT_EQ(item->note(), "flat jpeg · layers need psd or tiff");
    EXPECT_FALSE(item->sentBack);
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_TRUE(requestsTo("/jobs/" + item->result()->jobId + "/download").empty());

    // Layers carry what a flat file loses: no note.
    model->startExport(item, out() / "h.tif", ExportOptions{.format = ExportFormat::tiff}, true);
    runExports();
    EXPECT_FALSE(item->note());
}

TEST_F(ExportTest, AnOriginalsGainMapIsKeptAndSaidSo)
{
    // An original with an HDR gain map, written by the flat writer with a map of its own.
    FlatWriteServices services;
    services.carryGainMap = [](std::span<const uint8_t>, const Image&, const RenderContext&, std::string& reason) {
        reason = "applied:apple";
        return std::optional<CarriedGainMap>(
            CarriedGainMap{{150, 100, std::vector<uint8_t>(150 * 100, 200), {}}, 1, {}, {}});
    };
    FlatWriteOriginal carried;
    carried.hasGainMap = true;
    carried.gainMapFile = FileBytes();
    const auto bitmap = Bitmap::allocate(300, 200, PixelFormat::RGBX16);
    for (int64_t y = 0; y < 200; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(bitmap->mutableRow(y));
        for (int64_t x = 0; x < 300; ++x) {
            row[x * 4 + 0] = uint16_t(20000 + x * 150);
            row[x * 4 + 1] = uint16_t(30000 + y * 150);
            row[x * 4 + 2] = uint16_t(25000 + (x + y) * 60);
            row[x * 4 + 3] = 65535;
        }
    }
    const auto file = folder / "hdr.jpg";
    const auto jpeg = optionsFor(ExportFormat::jpeg);
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
        writeFlat(Image::fromBitmap(*bitmap), carried, file, jpeg, ColourSpace::sRGB(), RenderContext(), services)));
    auto items = developed({file});
    ASSERT_EQ(items.size(), 1u);
    model->exportTo({jpeg}, out());
    runExports();
    EXPECT_EQ(items[0]->note(), "hdr kept");
}

TEST_F(ExportTest, EveryFlatExportSendsTheDetailTransferEvent)
{
    auto items = developed({writeJPEG("a.jpg")});
    const auto before = backend.state().funnelEvents().size();
    model->exportTo({optionsFor(ExportFormat::jpeg)}, out());
    runExports();
    bool arrived = false;
    for (int i = 0; i < 200 && !arrived; ++i) {
        auto events = backend.state().funnelEvents();
        for (size_t k = before; k < events.size(); ++k)
            if (events[k].dump().find("detail_transfer") != std::string::npos &&
                events[k].dump().find("\"format\":\"jpeg\"") != std::string::npos)
                arrived = true;
        if (!arrived) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_TRUE(arrived);
}

} // namespace
} // namespace oxel::testing
