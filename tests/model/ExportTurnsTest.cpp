#include "model/ExportTurns.h"

#include "async/Completion.h"
#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

// Turns whose work waits until the test finishes it.
class ExportTurnsTest : public ::testing::Test {
protected:
    ExportTurnsTest()
    {
        turns.spawn = [this](Task<void> task) { scope.spawn(std::move(task)); };
        turns.exportFile = [this](std::shared_ptr<BatchItem> item, fs::path url, ExportOptions, bool markDownloaded) {
            return write(std::move(item), std::move(url), markDownloaded);
        };
    }

    std::shared_ptr<BatchItem> item(const std::string& name)
    {
        return BatchItem::make(Uuid::random(), folder / name, Origin::opened, std::nullopt, std::nullopt);
    }
    Task<std::optional<std::string>> write(std::shared_ptr<BatchItem> item, fs::path url, bool markDownloaded)
    {
        item->setExportWaiting(false);
        written.push_back(url.filename().string() + (markDownloaded ? " marks" : ""));
        Completion<std::optional<std::string>> done;
        writes.push_back(done);
        co_return co_await done.value();
    }
    Task<void> work(int index, Completion<bool> done)
    {
        started.push_back(index);
        co_await done.value();
    }
    void settle() { loop.advance(std::chrono::milliseconds(1)); }

    ManualLoop loop;
    TemporaryFolder folder;
    ExportTurns turns;
    TaskScope scope; // goes first, so no task outlives the turns
    std::vector<int> started;
    std::vector<std::string> written;
    std::vector<Completion<std::optional<std::string>>> writes;
};

TEST_F(ExportTurnsTest, FivePicturesTakeThreeTurnsInTheOrderTheyAsked)
{
    std::vector<Completion<bool>> finish(5);
    std::vector<int> pendingAfterwards;
    std::vector<std::shared_ptr<BatchItem>> items;
    for (int i = 0; i < 5; ++i) {
        items.push_back(item("p" + std::to_string(i) + ".jpg"));
        turns.start(
            items.back(), [this, i, done = finish[size_t(i)]] { return work(i, done); },
            [&] { pendingAfterwards.push_back(turns.pending()); });
        EXPECT_TRUE(items.back()->exportWaiting());
        EXPECT_EQ(items.back()->exportProgress(), 0.0);
    }
    settle();
    EXPECT_EQ(started, (std::vector{0, 1, 2}));
    EXPECT_EQ(turns.held(), 3);
    EXPECT_EQ(turns.pending(), 5);

    finish[1].complete(true);
    settle();
    EXPECT_EQ(started, (std::vector{0, 1, 2, 3}));
    EXPECT_EQ(pendingAfterwards, std::vector{4});
    for (int i : {0, 2, 3, 4}) {
        finish[size_t(i)].complete(true);
        settle();
    }
    EXPECT_EQ(started, (std::vector{0, 1, 2, 3, 4}));
    EXPECT_EQ(pendingAfterwards, (std::vector{4, 3, 2, 1, 0}));
    EXPECT_EQ(turns.held(), 0);
}

TEST_F(ExportTurnsTest, APlanWritesItsFilesInOneTurnAndJoinsTheirFailures)
{
    fs::create_directories(folder / "out");
    std::ofstream(folder / "out" / "IMG_7-oxel.psd") << "taken";
    std::set<fs::path> taken{folder / "out" / "IMG_7-oxel-2.psd"};
    auto picture = item("IMG_7.CR3");
    auto single = ExportTurns::plan(*picture, "oxel", {{.format = ExportFormat::psd}}, folder / "out", taken);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].url, folder / "out" / "IMG_7-oxel-3.psd");

    auto plan = ExportTurns::plan(
        *picture, "colour-only", {{.format = ExportFormat::psd}, {.format = ExportFormat::png}}, folder / "two", taken);
    EXPECT_TRUE(fs::is_directory(folder / "two" / "png"));
    turns.start(picture, std::move(plan));
    settle();
    EXPECT_EQ(written, std::vector<std::string>{"IMG_7-colour-only.psd marks"});
    writes[0].complete("no room");
    settle();
    EXPECT_EQ(written, (std::vector<std::string>{"IMG_7-colour-only.psd marks", "IMG_7-colour-only.png"}));
    EXPECT_EQ(turns.held(), 1);
    writes[1].complete("denied");
    settle();
    EXPECT_EQ(picture->lastError(), "psd: no room · png: denied");
    EXPECT_EQ(picture->note(), "export failed · psd: no room · png: denied");
    EXPECT_EQ(turns.pending(), 0);
}

} // namespace
} // namespace oxel::testing
