#include "sheets/SingleExport.h"

#include "sheets/ScriptedSavePanel.h"

#include <gtest/gtest.h>

#include <vector>

using namespace oxel;

namespace {

struct Started {
    std::shared_ptr<BatchItem> item;
    std::filesystem::path file;
    ExportOptions options;
};

struct SingleExportTest : ::testing::Test {
    oxel::testing::ScriptedSavePanel panel;
    std::vector<Started> started;
    SingleExport single{panel, [this](auto item, auto file, auto options) {
                            started.push_back({item, file, options});
                        }};

    std::shared_ptr<BatchItem> developedItem(const std::string& name)
    {
        auto item = BatchItem::make(Uuid::random(), "/photos/" + name, Origin::opened, SourceImage{}, std::nullopt);
        item->setResult(
            std::make_shared<JobOutcome>("job-1", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB())));
        return item;
    }
};

} // namespace

TEST_F(SingleExportTest, CancelDoesNothing)
{
    auto item = developedItem("a.b.c.jpg");
    single.exportOne(item);
    EXPECT_EQ(panel.proposed, std::vector<std::string>{"a.b.c-oxel.psd"});
    panel.answer(std::nullopt);
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(item->exportProgress());
}

TEST_F(SingleExportTest, AResultGoneDuringThePanelMarksNothing)
{
    auto item = developedItem("a.jpg");
    single.exportOne(item);
    item->setResult(nullptr);
    panel.answer("/out/a.psd");
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(item->exportProgress());
    EXPECT_FALSE(item->exportWaiting());
}

TEST_F(SingleExportTest, TheChosenNameSaysWhichLayeredFileIsWritten)
{
    auto item = developedItem("a.jpg");
    single.exportOne(item);
    panel.answer("/out/a.TIF");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].options.format, ExportFormat::tiff);
    EXPECT_EQ(started[0].file, "/out/a.TIF");

    single.exportOne(item);
    panel.answer("/out/photo.jpg");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1].file, "/out/photo.jpg.psd") << "the bytes are PSD, so the name says so";
    EXPECT_EQ(started[1].options.format, ExportFormat::psd);
    EXPECT_EQ(started[1].item, item) << "two exports of one item both go on";
}

TEST_F(SingleExportTest, APanelAnsweringAfterTheExporterIsGoneDoesNothing)
{
    auto item = developedItem("a.jpg");
    SavePanelPort::Answer late;
    {
        SingleExport shortLived{panel, [this](auto, auto, auto) { started.push_back({}); }};
        shortLived.exportOne(item);
        late = std::exchange(panel.pending, nullptr);
    }
    late("/out/a.psd");
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(item->exportWaiting());
}
