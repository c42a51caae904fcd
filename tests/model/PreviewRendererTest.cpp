#include "model/PreviewRenderer.h"

#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "library/JobOutcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace oxel::testing {
namespace {

// A renderer over two developed items and a stand-in render that notes the colour of every
// picture it makes.
class PreviewRendererTest : public ::testing::Test {
protected:
    PreviewRendererTest()
    {
        previews.spawn = [this](Task<void> task) { scope.spawn(std::move(task)); };
        previews.settingsFor = [](const BatchItem& item) {
            return DevelopSettings{false, 1.0, 1.0 + item.colourOffset(), true};
        };
        previews.items = [this]() -> const PreviewRenderer::Items& { return items; };
        previews.newestShown = [this](const std::shared_ptr<BatchItem>& item) { newest.push_back(item->id); };
        addItems(2);
    }
    void addItems(int count)
    {
        for (int i = 0; i < count; ++i) {
            items.push_back(BatchItem::make(Uuid::random(), "p.jpg", Origin::opened, std::nullopt, std::nullopt));
            items.back()->setResult(developed());
        }
    }
    static std::shared_ptr<const JobOutcome> developed()
    {
        return std::make_shared<JobOutcome>("job", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
    }
    // While `reading`, each render and each preparing reads a cached picture of its own result.
    void readPicture(const DevelopInput& outcome)
    {
        if (!reading) return;
        RenderPins::hold(pictures.pin(std::to_string(uintptr_t(&outcome)), [] {
            return Bitmap::allocate(64, 64, PixelFormat::RGBX8, ColourSpace::sRGB());
        }));
    }
    std::optional<Bitmap> renderOne(const DevelopSettings& settings, std::stop_token stop = {})
    {
        while (holding && !stop.stop_requested()) std::this_thread::yield();
        if (stop.stop_requested()) return std::nullopt;
        std::lock_guard lock(mutex);
        if (failing) throw std::runtime_error("out of memory");
        colours.push_back(settings.colour);
        return Bitmap::allocate(renderSize, renderSize, PixelFormat::RGB8, ColourSpace::sRGB());
    }
    // A pass with these tiles in view, once the controls have rested.
    void passWithInView(std::set<Uuid> onScreen, std::set<Uuid> near = {})
    {
        previews.setInView(std::move(onScreen), std::move(near));
        previews.restartPass();
        loop.advance(PreviewRenderer::restDelay);
    }
    bool settled() const { return previews.inFlight().empty() && previews.wanted().empty(); }
    std::vector<double> rendered()
    {
        std::lock_guard lock(mutex);
        return colours;
    }

    ManualLoop loop;
    std::mutex mutex;
    std::atomic<bool> holding = false; // renders wait while it holds
    std::vector<double> colours;
    bool failing = false;
    int renderSize = 8;
    std::atomic<bool> reading = false;
    std::atomic<int> prepared = 0;
    PictureCache pictures{2 * 64 * 64 * 4}; // room for two of those pictures
    WorkPool pool{1};                       // renders start in the order the pool takes them
    PreviewRenderer previews{PreviewRenderer::Environment{
        &pool,
        [this](const DevelopInput& outcome, const DevelopSettings& settings, std::stop_token stop) {
            readPicture(outcome);
            return renderOne(settings, std::move(stop));
        },
        [this](const DevelopInput& outcome, const DevelopSettings&, std::stop_token) {
            ++prepared;
            readPicture(outcome);
        }}};
    TaskScope scope; // goes first, so no render outlives the renderer
    std::vector<std::shared_ptr<BatchItem>> items;
    std::vector<Uuid> newest;
};

TEST_F(PreviewRendererTest, TenRequestsGiveTheRunningRenderAndTheLastOne)
{
    const auto item = items[0];
    for (int step = 1; step <= 10; ++step) {
        item->setColourOffset(-0.05 * step);
        previews.request(item);
        EXPECT_TRUE(previews.inFlight().contains(item->id));
    }
    ASSERT_EQ(previews.wanted().size(), 1u);
    EXPECT_DOUBLE_EQ(previews.wanted().at(item->id).settings.colour, 0.5);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    ASSERT_EQ(rendered().size(), 2u);
    EXPECT_DOUBLE_EQ(rendered()[0], 0.95);
    EXPECT_DOUBLE_EQ(rendered()[1], 0.5);
    // The first picture had newer settings behind it, so only the last is the newest.
    EXPECT_EQ(newest, std::vector{item->id});
    EXPECT_TRUE(item->previewImage());
    ASSERT_TRUE(item->developedCopy()) << "the tile's copy comes with the preview";
    EXPECT_EQ(item->developedCopy()->preview, *item->previewImage());
}

TEST_F(PreviewRendererTest, APassRendersTheItemsOnScreenFirstThenThoseNearThemThenTheRest)
{
    addItems(4);
    // Each item's colour says which it is.
    for (size_t i = 0; i < items.size(); ++i) items[i]->setColourOffset(-0.1 * double(i));
    passWithInView({items[4]->id}, {items[3]->id});
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    std::vector<long> order;
    for (const double colour : rendered()) order.push_back(std::lround((1.0 - colour) * 10));
    EXPECT_EQ(order, (std::vector<long>{4, 3, 0, 1, 2, 5}));
}

TEST_F(PreviewRendererTest, ALightMovedAgainRendersNothingMoreOfTheLightBeforeAheadOfTheTilesNowInView)
{
    addItems(4);
    holding = true;
    passWithInView({items[5]->id});
    // Scrolled to the top and moved again while the end's picture renders.
    for (const auto& item : items) item->setColourOffset(-0.5);
    passWithInView({items[0]->id});
    holding = false;
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered(), std::vector(6, 0.5)) << "the render of the first light is dropped";
    EXPECT_EQ(newest.front(), items[0]->id) << "the top first";
}

TEST_F(PreviewRendererTest, AViewMovedOntoWaitingTilesStopsTheRenderOfATileOutOfSight)
{
    addItems(4);
    holding = true;
    passWithInView({items[5]->id});
    ASSERT_TRUE(previews.inFlight().contains(items[5]->id));
    previews.setInView({items[0]->id}, {});
    EXPECT_TRUE(loop.runUntil([&] { return previews.inFlight().contains(items[0]->id); }))
        << "the tile in view waits while one out of sight holds the only turn";
    holding = false;
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), items.size());
    EXPECT_TRUE(items[5]->previewImage()) << "the stopped render waits for a later turn";
}

TEST_F(PreviewRendererTest, ATileInViewIsPreparedOnceTheViewRestsAndKeepsWhatItReadThroughAPass)
{
    addItems(4);
    reading = true;
    const auto keyOf = [](const BatchItem& item) { return std::to_string(uintptr_t(item.result().get())); };
    previews.setInView({items[0]->id}, {});
    loop.advance(PreviewRenderer::viewRestDelay);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_TRUE(pictures.contains(keyOf(*items[0]))) << "prepared while the view rests";
    EXPECT_TRUE(rendered().empty());

    passWithInView({items[0]->id});
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), items.size());
    EXPECT_TRUE(pictures.contains(keyOf(*items[0]))) << "the pass through the other five let it go";
    EXPECT_FALSE(pictures.contains(keyOf(*items[1])));
}

TEST_F(PreviewRendererTest, TilesInViewArePreparedOnlyWhileWhatTheyKeepFitsHalfTheCache)
{
    addItems(6);
    reading = true;
    std::set<Uuid> onScreen;
    for (const auto& item : items) onScreen.insert(item->id);
    const size_t bound = PictureCache::shared().byteLimit();
    PictureCache::shared().setByteLimit(2 * 64 * 64 * 4); // half of it keeps one tile's pictures
    previews.setInView(onScreen, {});
    previews.request(items[0]); // keeps what its render read
    const bool rendered = loop.runUntil([&] { return settled(); });
    loop.advance(PreviewRenderer::viewRestDelay);
    const bool settledAll = rendered && loop.runUntil([&] { return settled(); });
    PictureCache::shared().setByteLimit(bound);
    ASSERT_TRUE(settledAll);
    EXPECT_TRUE(pictures.contains(std::to_string(uintptr_t(items[0]->result().get()))));
    EXPECT_EQ(prepared.load(), 0) << "nothing is prepared once what is kept reaches half the bound";
}

TEST_F(PreviewRendererTest, AScreenOfManyTilesIsPreparedFromTheTopForOneRoundOfRenderTurnsAtMost)
{
    addItems(6);
    reading = true;
    std::set<Uuid> onScreen;
    for (const auto& item : items) onScreen.insert(item->id);
    previews.setInView(onScreen, {});
    loop.advance(PreviewRenderer::viewRestDelay);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(prepared.load(), 1) << "one pool thread gives one render turn";
    EXPECT_TRUE(pictures.contains(std::to_string(uintptr_t(items[0]->result().get()))));
}

TEST_F(PreviewRendererTest, APreviewTheCacheLetGoIsMadeAgainOnceWhenATileAsksOnlyWhileItsCopyIsTooSmall)
{
    renderSize = 600;
    previews.request(items[0]);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    PictureCache::shared().forget(items[0]->previewImage()->key());
    previews.remake(items[0]);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), 1u) << "the copy at the tiles' size is the tile's picture";
    // The tiles grew past the copy.
    previews.setTileBox({560, 560});
    previews.remake(items[0]); // still held
    PictureCache::shared().forget(items[0]->previewImage()->key());
    previews.remake(items[0]);
    previews.remake(items[0]);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), 2u);
    EXPECT_EQ(items[0]->developedCopy()->picture.width(), 560);
}

TEST_F(PreviewRendererTest, PreviewsInViewThatLetEachOtherGoAreMadeAgainOnceARestAndWriteNothingNew)
{
    renderSize = 600;
    for (const auto& item : items) previews.request(item);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    newest.clear();
    previews.setTileBox({560, 560}); // larger than the copies
    // The cache holds one of the two previews: each made again lets the other go.
    const auto letGoAndAsk = [&](const std::shared_ptr<BatchItem>& item) {
        PictureCache::shared().forget(item->previewImage()->key());
        previews.remake(item);
        return loop.runUntil([&] { return settled(); });
    };
    for (int round = 0; round < 3; ++round)
        for (const auto& item : items) ASSERT_TRUE(letGoAndAsk(item));
    EXPECT_EQ(rendered().size(), 4u) << "made again once until the view moves; the copies stand in";
    EXPECT_TRUE(newest.empty()) << "a preview made again with the same settings writes no thumbnail";
    previews.setTileBox({600, 600});
    previews.setInView({items[0]->id}, {});
    for (const auto& item : items) ASSERT_TRUE(letGoAndAsk(item));
    EXPECT_EQ(rendered().size(), 5u) << "only the tile in view asks";
}

TEST_F(PreviewRendererTest, APreviewMadeAgainForATileThatLeavesTheViewAtAnyMoveIsNotMadeOutOfSight)
{
    addItems(2);
    for (const auto& item : items) previews.request(item);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    holding = true;
    previews.setInView({items[0]->id, items[1]->id, items[2]->id}, {});
    for (const auto& item : {items[1], items[2]}) PictureCache::shared().forget(item->previewImage()->key());
    for (const auto& item : {items[1], items[2]}) previews.remake(item);
    // Scrolled on a row at a time: the first render gives its turn up, the second never gets one.
    previews.setInView({items[2]->id, items[3]->id}, {});
    previews.setInView({items[3]->id}, {});
    holding = false;
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), items.size()) << "the developed copies stand in until the tiles are back";
}

TEST_F(PreviewRendererTest, RequestsWithoutAResultStartNothingAndAPassLeavesThemOut)
{
    items[0]->setResult(nullptr);
    previews.request(items[0]);
    previews.request(nullptr);
    EXPECT_TRUE(settled());

    previews.restartPass();
    loop.advance(PreviewRenderer::restDelay);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), 1u);
    EXPECT_EQ(newest, std::vector{items[1]->id});
}

TEST_F(PreviewRendererTest, PassesRestartedTenMillisecondsApartRunOnceWithTheSettingsAsTheyStandThen)
{
    previews.restartPass();
    loop.advance(std::chrono::milliseconds(10));
    previews.restartPass();
    items[1]->setColourOffset(-0.75);
    loop.advance(PreviewRenderer::restDelay - std::chrono::milliseconds(1));
    EXPECT_TRUE(previews.inFlight().empty());
    loop.advance(std::chrono::milliseconds(1));
    // The pool may already have finished a render by now: the pass is seen by what it rendered.
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    auto colours = rendered();
    std::sort(colours.begin(), colours.end());
    EXPECT_EQ(colours, (std::vector{0.25, 1.0}));
    EXPECT_EQ(newest.size(), 2u);
}

TEST_F(PreviewRendererTest, AnItemThatLeftTheBatchWhileRenderingIsNotHeardOfOrRenderedAgain)
{
    const auto item = items[0];
    previews.request(item);
    previews.request(item);
    items.erase(items.begin());
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), 1u);
    EXPECT_TRUE(item->previewImage()) << "it keeps the picture it rendered";
    EXPECT_TRUE(newest.empty());
}

TEST_F(PreviewRendererTest, AFailedRenderLeavesNoPreviewAndTheNextRequestRendersAgain)
{
    const auto item = items[0];
    failing = true;
    previews.request(item);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_FALSE(item->previewImage());

    failing = false;
    previews.request(item);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_TRUE(item->previewImage());
}

TEST_F(PreviewRendererTest, ARenderOfAResultTheItemNoLongerHoldsIsNotShown)
{
    const auto cleared = items[0];
    previews.request(cleared);
    cleared->setResult(nullptr);
    const auto replaced = items[1];
    previews.request(replaced);
    replaced->setResult(developed());
    previews.request(replaced);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_FALSE(cleared->previewImage()) << "a picture of a result the item no longer has";
    EXPECT_EQ(rendered().size(), 3u) << "the new result's settings render after the stale one";
    EXPECT_EQ(newest, std::vector{replaced->id}) << "only the new result's picture marks the thumbnail";
    EXPECT_TRUE(replaced->previewImage());
}

} // namespace
} // namespace oxel::testing
