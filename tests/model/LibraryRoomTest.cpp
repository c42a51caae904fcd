#include "support/ModelFixture.h"

#include "backend/HttpSession.h"
#include "support/SmallDisk.h"

#include <fstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

// A library on a disk of its own, filled up to the room a test leaves.
class LibraryRoomTest : public ModelTest {
protected:
    void SetUp() override
    {
        if (!disk.mounted()) GTEST_SKIP() << "no right to mount a small disk here";
        // The room is under test, not the client's time limits: a submission slowed by a busy
        // machine must not time out and leave a picture neither sent nor held.
        HttpSession::setTimeScale(1.0);
        makeModel(&small);
    }
    void TearDown() override { model.reset(); }
    // Pictures waiting for room are looked at for ever: the wait ends after a minute.
    bool runFor(const std::function<bool()>& done)
    {
        const auto end = loop.elapsed() + std::chrono::minutes(1);
        return runUntil([&] { return done() || loop.elapsed() > end; }) && done();
    }
    void leaveFree(uintmax_t bytes)
    {
        small.drain();
        const auto filler = folder / "disk" / "filler";
        const auto free = fs::space(folder / "disk").available + (fs::exists(filler) ? fs::file_size(filler) : 0);
        fs::remove(filler);
        std::ofstream(filler) << std::string(free - bytes, 'x');
    }
    // A small first picture, which is read and sent soonest, and three large ones after it, on a
    // disk with room for the results of the first two.
    void processFourWithRoomForTwo()
    {
        drop({writeJPEG("a.jpg"), writeJPEG("b.jpg", 2000, 1300), writeJPEG("c.jpg", 2000, 1300),
              writeJPEG("d.jpg", 2000, 1300)});
        leaveFree(15'000'000);
        model->process();
        const auto settled = [](const auto& item) {
            return item->jobId() || item->phase().template is<phase::Ready>();
        };
        ASSERT_TRUE(runFor([&] { return std::all_of(model->items().begin(), model->items().end(), settled); }));
    }

    SmallDisk disk{folder / "disk", 64'000'000};
    LibraryStore small{LibraryStore::Environment{folder / "disk" / "Library",
                                                 [](const fs::path&) { return std::optional<std::string>(); }, &loop}};
};

TEST_F(LibraryRoomTest, PicturesHeldForRoomAreTheBatchsLast)
{
    processFourWithRoomForTwo();
    const auto& items = model->items();
    EXPECT_TRUE(items[0]->jobId() && items[1]->jobId());
    EXPECT_FALSE(items[2]->jobId() || items[3]->jobId());
}

TEST_F(LibraryRoomTest, TheRoomLineCountsThePicturesSentAndThoseHeld)
{
    processFourWithRoomForTwo();
    const auto said = model->statusLine().value_or("");
    EXPECT_TRUE(said.ends_with(" MB needed · 2 sent · 2 wait for room")) << said;
}

// While pictures wait for room the line follows the disk's free room, and they go on their own once
// it has room for them; the line then gives way to the batch's progress.
TEST_F(LibraryRoomTest, PicturesWaitingForRoomGoOnTheirOwnOnceThereIsRoom)
{
    processFourWithRoomForTwo();
    leaveFree(2'500'000);
    ASSERT_TRUE(runFor([&] { return model->items()[0]->renderFile && model->items()[1]->renderFile; }));
    loop.advance(2 * AppModel::roomLookInterval);
    small.drain();
    const auto free = std::to_string(fs::space(folder / "disk").available / 1'000'000);
    const auto said = model->statusLine().value_or("");
    EXPECT_TRUE(said.starts_with("the library's disk is nearly full · " + free + " MB free")) << said;
    leaveFree(30'000'000);
    EXPECT_TRUE(runFor([&] { return model->items()[2]->jobId() && model->items()[3]->jobId(); }));
    EXPECT_FALSE(model->statusLine());
}

// Held pictures are the shots their own account chose: another account signing in over it
// neither sends them nor keeps the line about them.
TEST_F(LibraryRoomTest, PicturesHeldForRoomAreNeverSentUnderTheNextAccount)
{
    processFourWithRoomForTwo();
    const auto submitted = submissions();
    const auto other = backend.state().signIn("apple", "room-other");
    model->auth().applyAuthResult({"ok", other.userId, std::nullopt, other.token}, "apple");
    leaveFree(30'000'000);
    runFor([&] { return submissions() > submitted; });
    EXPECT_EQ(submissions(), submitted);
    EXPECT_FALSE(model->statusLine()) << *model->statusLine();
}

// Once a result of the batch is stored, the room asked for the others comes near what they take.
TEST_F(LibraryRoomTest, TheRoomAskedComesNearWhatStoredResultsTake)
{
    drop({writeJPEG("a.jpg", 2000, 1300), writeJPEG("b.jpg", 2000, 1300), writeJPEG("c.jpg", 2000, 1300)});
    leaveFree(10'000'000);
    model->process();
    const auto& items = model->items();
    ASSERT_TRUE(runFor([&] { return items[0]->jobId().has_value(); }));
    leaveFree(1'500'000);
    // What a stored result took: its render and its thumbnail, written after it.
    const auto taken = [&](const BatchItem& item) -> uintmax_t {
        const auto folder = small.imageFolder(model->batch()->id, item.id);
        if (!item.renderFile || !fs::exists(folder / "thumb.jpg")) return 0;
        return fs::file_size(folder / *item.renderFile) + fs::file_size(folder / "thumb.jpg");
    };
    ASSERT_TRUE(runFor([&] { return taken(*items[0]) > 0; }));
    loop.advance(AppModel::roomLookInterval);
    const auto said = model->statusLine().value_or("");
    leaveFree(20'000'000);
    ASSERT_TRUE(runFor([&] { return taken(*items[1]) > 0 && taken(*items[2]) > 0; }));
    const auto needed = std::stoull(said.substr(said.find("about ") + 6)) * 1'000'000;
    EXPECT_LE(needed, (taken(*items[1]) + taken(*items[2])) * 3 / 2 + 1'000'000) << said;
}

} // namespace
} // namespace oxel::testing
