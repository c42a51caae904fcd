#include "ExportFixture.h"

#include "platform/JsonFields.h"

#include <fstream>
#include <sstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

class RemoveReportTest : public ExportTest {
protected:
    Json storedBatch()
    {
        loop.advance(BatchSaver::saveDelay + std::chrono::milliseconds(50));
        library.drain();
        return jsonOf(library.batchFolder(model->batch()->id) / "batch.json").value_or(Json());
    }
};

TEST_F(RemoveReportTest, RemovingTakesThePictureAndItsFolderOutOfTheBatch)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    ASSERT_EQ(items.size(), 2u);
    const auto gone = imageFolder(*items[0]);
    ASSERT_TRUE(fs::exists(gone));
    model->setLightbox(items[0]);
    model->saving().mark(*items[0]);
    model->remove(items[0]);
    EXPECT_EQ(model->items(), std::vector{items[1]});
    EXPECT_FALSE(model->lightbox());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    EXPECT_FALSE(model->saving().dirty().contains(items[0]->id));
    EXPECT_FALSE(fs::exists(gone));
    const auto stored = storedBatch();
    ASSERT_EQ(stored["images"].size(), 1u);
    EXPECT_EQ(stored["images"][0], items[1]->id.text());
    EXPECT_FALSE(fs::exists(gone)) << "a queued write brought the folder back";
    EXPECT_TRUE(fs::exists(folder / "a.jpg")) << "the original is never touched";

    model->remove(items[1]);
    EXPECT_TRUE(model->items().empty());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
}

TEST_F(RemoveReportTest, OnlyABackendResultOfASignedInAccountHasAReportTarget)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    drop({writeJPEG("fresh.jpg")});
    ASSERT_EQ(model->items().size(), 4u);
    makeColourOnly(*items[1]);
    giveJobId(*items[2], "local-123");

    auto target = model->reportTarget(*items[0]);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->jobId, items[0]->result()->jobId);
    EXPECT_EQ(target->userId, std::to_string(account.userId));
    EXPECT_FALSE(model->reportTarget(*items[1]));
    EXPECT_FALSE(model->reportTarget(*items[2]));
    EXPECT_FALSE(model->reportTarget(*model->items()[3]));
    giveJobId(*items[2], "");
    EXPECT_FALSE(model->reportTarget(*items[2]));

    signOut();
    makeModel();
    EXPECT_FALSE(model->reportTarget(*items[0]));
}

TEST_F(RemoveReportTest, RemovingBeforeTheBatchIsStoredTouchesNoLibrary)
{
    drop({writeJPEG("a.jpg")});
    ASSERT_FALSE(model->batch());
    model->remove(model->items()[0]);
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->batch());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
}

TEST_F(RemoveReportTest, APictureWithoutAResultGoesWithoutAnAlert)
{
    drop({writeJPEG("fresh.jpg")});
    model->confirmRemove(model->items()[0]);
    EXPECT_TRUE(model->items().empty());
    EXPECT_TRUE(panels.alertsShown.empty());
}

TEST_F(RemoveReportTest, TheAlertSaysWhatGoesAndOffersAReportOnlyForABackendResult)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    makeColourOnly(*items[1]);
    panels.answers = {1, 1};
    model->confirmRemove(items[0]);
    model->confirmRemove(items[1]);
    ASSERT_TRUE(runUntil([&] { return panels.alertsShown.size() == 2; }));
    const auto& developedAlert = panels.alertsShown[0];
    EXPECT_EQ(developedAlert.message, "remove a.jpg from the batch?");
    EXPECT_EQ(developedAlert.information,
              "its result goes from the library too. the original is not touched. processing it again spends a "
              "shot.\n\nif something is wrong with it, report it first and oxel keeps the picture for 30 days.");
    EXPECT_EQ(developedAlert.buttons, (std::vector<std::string>{"remove", "keep it", "report it, then remove"}));
    EXPECT_EQ(developedAlert.buttons.at(developedAlert.safeAnswer), "keep it") << "Escape keeps the picture";
    const auto& colourOnly = panels.alertsShown[1];
    EXPECT_EQ(colourOnly.information, "its grade goes from the library too. the original is not touched.");
    EXPECT_EQ(colourOnly.buttons, (std::vector<std::string>{"remove", "keep it"}));
    // "keep it" keeps both.
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_EQ(model->items().size(), 2u);

    panels.answers = {0};
    model->confirmRemove(items[1]);
    ASSERT_TRUE(runUntil([&] { return model->items().size() == 1; }));
}

TEST_F(RemoveReportTest, TwoQuickReportsSendOneAndTheSupportPageNamesIt)
{
    auto items = developed({writeJPEG("a.jpg")});
    auto item = items[0];
    backend.forgetReceivedRequests();
    std::vector<AppModel::ReportOutcome> outcomes;
    auto report = [&](bool openSupport) -> Task<void> {
        outcomes.push_back(co_await model->sendReport(item, openSupport));
    };
    model->tasks().spawn(report(true));
    model->tasks().spawn(report(false));
    ASSERT_TRUE(runUntil([&] { return outcomes.size() == 2; }));
    EXPECT_EQ(requestsTo("/jobs/" + item->result()->jobId + "/report").size(), 1u);
    EXPECT_FALSE(outcomes[0].reportId);
    ASSERT_TRUE(outcomes[1].reportId);
    EXPECT_TRUE(outcomes[1].pictureWent);
    EXPECT_EQ(model->statusLine(), "report " + *outcomes[1].reportId + " sent · the picture is kept for 30 days");
    EXPECT_TRUE(model->reporting().empty());
    ASSERT_EQ(openedURLs.size(), 1u);
    EXPECT_NE(openedURLs[0].find("report_output"), std::string::npos);
    EXPECT_NE(openedURLs[0].find(*outcomes[1].reportId), std::string::npos);
}

TEST_F(RemoveReportTest, ReportThenRemoveKeepsThePictureWhenTheReportIsRefused)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    backend.setFaults({.pathPrefix = "/jobs/" + items[0]->result()->jobId + "/report", .status = 503});
    await(model->reportThenRemove(items[0]));
    EXPECT_EQ(model->statusLine(), "the picture did not reach oxel · a.jpg is still in the batch");
    EXPECT_EQ(model->items().size(), 2u);
    ASSERT_EQ(openedURLs.size(), 1u) << "the support page opens also when the report did not go";

    backend.setFaults({.pathPrefix = "/jobs/", .answer = R"({"ok": true})"});
    await(model->reportThenRemove(items[0]));
    EXPECT_EQ(model->statusLine(), "the picture did not reach oxel · a.jpg is still in the batch");

    backend.clearFaults();
    panels.answers = {2};
    model->confirmRemove(items[0]);
    ASSERT_TRUE(runUntil([&] { return model->items().size() == 1; }));
    ASSERT_TRUE(model->statusLine());
    EXPECT_TRUE(model->statusLine()->starts_with("report ")) << *model->statusLine();
    EXPECT_TRUE(model->statusLine()->ends_with(" sent · a.jpg removed")) << *model->statusLine();
}

} // namespace
} // namespace oxel::testing
