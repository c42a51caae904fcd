// A start's files and links reaching the real application model, and later starts that wait for
// their hand-off until the batch lets the files go.
#include "app/HandoffReception.h"
#include "app/ModelStartTarget.h"
#include "app/WaitingStarts.h"
#include "support/ModelFixture.h"

#include <fstream>

namespace oxel {
namespace {

using Strings = std::vector<std::string>;

LaunchArguments handoff(Strings files, std::optional<std::string> sender = "Shotwell")
{
    LaunchArguments launch;
    launch.handoff = true;
    launch.sender = std::move(sender);
    launch.handoffFiles = std::move(files);
    return launch;
}

class ModelStartsTest : public testing::ModelTest {
protected:
    ModelStartsTest()
    {
        makeModel();
        target = std::make_unique<ModelStartTarget>(*model);
        reception = std::make_unique<HandoffReception>(*target, loop, loop.steady());
        waiting = std::make_unique<WaitingStarts>(*model);
    }
    ~ModelStartsTest() override
    {
        waiting.reset();
        reception.reset();
        target.reset();
    }

    // A start that waits, as the instance channel holds it; expired once let go.
    std::weak_ptr<void> waitFor(const Strings& files)
    {
        auto hold = std::make_shared<int>(0);
        waiting->add(files, hold);
        return hold;
    }

    std::unique_ptr<ModelStartTarget> target;
    std::unique_ptr<HandoffReception> reception;
    std::unique_ptr<WaitingStarts> waiting;
};

TEST_F(ModelStartsTest, AFirstHandoffIntoAnEmptyWindowMarksTheRunAndOpenedFilesNeverBecomeHandoffs)
{
    const auto handed = writeJPEG("in/handed.jpg");
    const auto opened = writeJPEG("in/opened.jpg");
    LaunchArguments launch = handoff({handed.string()}, "ShotWell");
    launch.openedFiles = {opened.string()};
    reception->receive(launch);
    runImports();

    ASSERT_EQ(model->items().size(), 2u);
    for (const auto& item : model->items())
        EXPECT_EQ(item->origin, item->url() == handed ? Origin::handoff : Origin::opened) << item->url();
    EXPECT_EQ(model->lastBatchSource(), "from shotwell");
    // Opened files came first, into an empty window: the hand-off still found nothing on screen
    // when the start was read, so the run counts as started by it.
    EXPECT_TRUE(model->launchedByHandoff);
    EXPECT_EQ(model->handoffSender, "shotwell");
}

TEST_F(ModelStartsTest, AHandoffIntoAWindowWithPhotographsLeavesTheMarkButStillArrives)
{
    drop({writeJPEG("in/first.jpg")});
    reception->receive(handoff({writeJPEG("in/handed.jpg").string()}, "darktable"));
    runImports();
    EXPECT_FALSE(model->launchedByHandoff);
    EXPECT_EQ(model->handoffSender, std::nullopt);
    ASSERT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->items()[1]->origin, Origin::handoff);
    EXPECT_EQ(model->lastBatchSource(), "from darktable");
}

TEST_F(ModelStartsTest, ALinkNoSignInWaitsForIsRefusedAndChangesNothing)
{
    const AuthState before = model->auth().state();
    LaunchArguments launch;
    launch.urls = {"oxel://apple-callback?state=nobody&id_token=x"};
    reception->receive(launch);
    EXPECT_EQ(model->auth().state(), before);
    EXPECT_TRUE(model->items().empty());
}

TEST_F(ModelStartsTest, AWaitingStartIsLetGoWhenANewBatchLeavesItsFilesBehind)
{
    const auto handed = writeJPEG("in/handed.jpg");
    const auto other = writeJPEG("in/other.jpg");
    reception->receive(handoff({handed.string(), other.string()}));
    auto hold = waitFor({handed.string(), other.string()});
    // The hand-off's items are still being read: nothing is let go meanwhile.
    EXPECT_FALSE(hold.expired());
    runImports();
    ASSERT_EQ(model->items().size(), 2u);
    EXPECT_FALSE(hold.expired());
    EXPECT_EQ(waiting->count(), 1u);

    model->newBatch();
    EXPECT_TRUE(hold.expired());
    EXPECT_EQ(waiting->count(), 0u);
}

TEST_F(ModelStartsTest, AWaitingStartIsLetGoOnceItsFileTurnsOutNeverToJoinTheBatch)
{
    // Unreadable: it never becomes an item, so nothing will ever send it back.
    const auto broken = folder / "in/broken.jpg";
    std::filesystem::create_directories(broken.parent_path());
    std::ofstream(broken) << "not a picture";
    reception->receive(handoff({broken.string()}));
    auto unreadable = waitFor({broken.string()});
    EXPECT_FALSE(unreadable.expired()) << "let go while the file was still being read";
    runImports();
    EXPECT_EQ(model->statusLine(), "could not read broken.jpg");
    EXPECT_TRUE(unreadable.expired());

    // Already in the batch, opened rather than handed over: it joins nothing and is never written.
    const auto opened = writeJPEG("in/opened.jpg");
    drop({opened});
    reception->receive(handoff({opened.string()}));
    auto alreadyOpened = waitFor({opened.string()});
    runImports();
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_TRUE(alreadyOpened.expired());
}

TEST_F(ModelStartsTest, AWaitingStartIsLetGoOnceEachFileWasSentBack)
{
    const auto first = writeJPEG("in/first.jpg");
    const auto second = writeJPEG("in/second.jpg");
    reception->receive(handoff({first.string(), second.string()}));
    runImports();
    auto hold = waitFor({first.string(), second.string()});
    ASSERT_EQ(model->items().size(), 2u);

    // What send back leaves on an item: the stamp of the file it wrote.
    model->items()[0]->sentBack = FileStamp::of(first);
    waiting->check();
    EXPECT_FALSE(hold.expired()) << "one of two files is still out";
    model->items()[1]->sentBack = FileStamp::of(second);
    waiting->check();
    EXPECT_TRUE(hold.expired());
}

TEST_F(ModelStartsTest, AHandoffThatStartsANewBatchKeepsItsOwnStartWaiting)
{
    drop({writeJPEG("in/first.jpg")});
    model->ensureBatchStored();
    const auto handed = writeJPEG("in/handed.jpg");
    // A batch is open: the hand-off leaves it for a new one, which must not let its own start go.
    reception->receive(handoff({handed.string()}));
    auto hold = waitFor({handed.string()});
    runImports();
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_FALSE(hold.expired());
    model->newBatch();
    EXPECT_TRUE(hold.expired());
}

TEST_F(ModelStartsTest, AWaitingStartIsLetGoWhenItsFileIsRemovedFromTheBatch)
{
    const auto kept = writeJPEG("in/kept.jpg");
    const auto removed = writeJPEG("in/removed.jpg");
    reception->receive(handoff({removed.string()}));
    runImports();
    auto hold = waitFor({removed.string()});
    drop({kept});
    ASSERT_EQ(model->items().size(), 2u);
    // Nothing developed yet: removal needs no question.
    model->confirmRemove(model->items().front());
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_TRUE(hold.expired());
}

TEST_F(ModelStartsTest, AWaitingStartIsLetGoWhenItsDevelopedPictureIsSentBack)
{
    const auto handed = writeJPEG("in/handed.jpg");
    reception->receive(handoff({handed.string()}));
    runImports();
    auto hold = waitFor({handed.string()});
    auto item = model->items().front();
    model->process();
    ASSERT_TRUE(runUntil([&] { return item->result() != nullptr; }));
    EXPECT_FALSE(hold.expired()) << "developing lets nothing go";
    model->sendBack();
    ASSERT_TRUE(runUntil([&] { return hold.expired(); }));
    EXPECT_TRUE(item->sentBack);
}

} // namespace
} // namespace oxel
