#include "support/ModelFixture.h"

#include "platform/JsonFields.h"

#include <fstream>
#include <set>
#include <sstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

std::optional<Json> jsonOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return parseJson(text.str());
}

class RoadTest : public ModelTest {
protected:
    void SetUp() override
    {
        makeModel();
        drop({writeJPEG("one.jpg", 600, 400), writeJPEG("two.jpg", 600, 400), writeJPEG("three.jpg", 400, 600)});
    }
    // Every job ended: its result shown and stored, or its failure told.
    bool allSettled()
    {
        for (const auto& item : model->items())
            if (item->phase().isInFlight() || item->phase().is<phase::Ready>() || item->keep) return false;
        return model->runner().inFlightCount() == 0;
    }
};

TEST_F(RoadTest, ProcessedBatchIsStoredSubmittedDevelopedAndKept)
{
    std::vector<std::string> savedStates;
    model->process();
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    library.drain();
    auto batchJson = jsonOf(library.batchFolder(model->batch()->id) / "batch.json");
    ASSERT_TRUE(batchJson);
    EXPECT_EQ((*batchJson)["name"], model->batch()->name);
    EXPECT_EQ((*batchJson)["images"].size(), 3u);

    // After submission the item's record says it is developing, with its job id.
    auto first = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return first->jobId().has_value(); }));
    library.drain();
    auto submitted = jsonOf(imageFolder(*first) / "image.json");
    ASSERT_TRUE(submitted);
    EXPECT_EQ((*submitted)["jobId"], *first->jobId());

    ASSERT_TRUE(runUntil([&] { return allSettled(); }));
    library.drain();
    for (const auto& item : model->items()) {
        SCOPED_TRACE(item->url().filename().string());
        ASSERT_TRUE(item->phase().is<phase::Done>());
        ASSERT_TRUE(item->renderFile);
        EXPECT_FALSE(item->keep);
        EXPECT_TRUE(fs::exists(imageFolder(*item) / *item->renderFile));
        EXPECT_TRUE(fs::exists(imageFolder(*item) / "analysis.json"));
        auto record = jsonOf(imageFolder(*item) / "image.json");
        ASSERT_TRUE(record);
        EXPECT_EQ((*record)["state"], "done");
        EXPECT_EQ((*record)["renderFile"], *item->renderFile);
    }
    EXPECT_TRUE(model->itemsToProcess().empty());
    EXPECT_EQ(model->itemsWithResult().size(), 3u);

    // Named once nothing is in flight; the name is saved with the record.
    ASSERT_TRUE(runUntil([&] { return !model->naming() && model->tasks().runningCount() == 0; }));
    library.drain();
    auto named = jsonOf(library.batchFolder(model->batch()->id) / "batch.json");
    ASSERT_TRUE(named);
    EXPECT_EQ((*named)["name"], model->batch()->name);
    EXPECT_FALSE(model->recent().empty());
}

TEST_F(RoadTest, OnlyReadyItemsGoAndANewBatchTellsWhatIsStillDeveloping)
{
    model->process();
    ASSERT_TRUE(runUntil([&] { return model->inFlightCount() == 3; }));
    const auto left = model->batch()->id;
    model->newBatch();
    EXPECT_EQ(model->statusLine(), "3 still developing · they'll be collected when you reopen that batch");
    EXPECT_TRUE(model->items().empty());
    EXPECT_EQ(model->runner().inFlightCount() + model->runner().queuedCount(), 0);
    loop.advance(std::chrono::seconds(30));
    library.drain();
    auto stored = library.load(left);
    ASSERT_TRUE(stored);
    for (const auto& image : stored->images) EXPECT_FALSE(image.renderFile);
}

TEST_F(RoadTest, ANewBatchDuringADeliveryWritesNothingAndTheOldRecordStaysDeveloping)
{
    model->process();
    std::shared_ptr<BatchItem> delivering;
    ASSERT_TRUE(runUntil([&] {
        for (const auto& item : model->items())
            if (item->phase().is<phase::Finishing>()) delivering = item;
        return delivering != nullptr;
    }));
    const auto left = model->batch()->id;
    const auto jobId = *delivering->jobId();
    model->newBatch();
    loop.advance(std::chrono::seconds(30));
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    library.drain();

    EXPECT_FALSE(model->batch());
    EXPECT_TRUE(model->items().empty());
    const auto folder = library.imageFolder(left, delivering->id);
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"image.json", "original.jpg"}));
    auto record = jsonOf(folder / "image.json");
    ASSERT_TRUE(record);
    EXPECT_EQ((*record)["state"], "developing");
    EXPECT_EQ((*record)["jobId"], jobId);
    EXPECT_FALSE(record->contains("renderFile"));
}

TEST_F(RoadTest, TheBatchIsNamedOnceAfterTheLastJobSettled)
{
    int namingsStarted = 0;
    bool wasNaming = false;
    std::vector<int> inFlightWhenNamed;
    model->process();
    ASSERT_TRUE(runUntil([&] {
        if (model->naming() && !wasNaming) {
            ++namingsStarted;
            inFlightWhenNamed.push_back(model->inFlightCount());
        }
        wasNaming = model->naming();
        return allSettled() && !model->naming() && model->tasks().runningCount() == 0;
    }));
    EXPECT_EQ(namingsStarted, 1);
    EXPECT_EQ(inFlightWhenNamed, std::vector<int>{0});
    EXPECT_EQ(model->batch()->nameSource, BatchRecord::NameSource::rule);

    // Later settles of the same batch leave a name by rules alone while no model can do better.
    const auto name = model->batch()->name;
    model->nameBatchIfReady();
    EXPECT_FALSE(model->naming());
    EXPECT_EQ(model->batch()->name, name);
}

TEST_F(RoadTest, TheRollAfterABatchIsWhatTheAccountHoldsAndTheConfirmationsShareOneFetch)
{
    await(model->refreshBalance());
    ASSERT_TRUE(model->balance());
    const auto before = model->balance()->balance;
    const auto fetchesBefore = requestsTo("/credits/balance").size();
    model->process();
    ASSERT_TRUE(runUntil([&] { return allSettled(); }));
    // Each shot is spent when the backend takes the delivery's confirmation, after the result is
    // stored: the roll shown must come from a fetch after the last of them.
    const auto held = [&] { return backend.state().account(account.userId)->balance; };
    ASSERT_TRUE(runUntil([&] { return held() == before - 3 && model->balance()->balance == held(); }))
        << "shown " << model->balance()->balance << ", held " << held();
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_EQ(requestsTo("/credits/balance").size() - fetchesBefore, 1u);
}

} // namespace
} // namespace oxel::testing
