#include "model/PreviewRenderer.h"

#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "imaging/PictureCache.h"
#include "library/JobOutcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

namespace oxel::testing {
namespace {

// A renderer over two developed items and a stand-in render that notes the colour of every tile's
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
    std::optional<Bitmap> renderOne(const DevelopSettings& settings, TileBox box, std::stop_token stop)
    {
        while (holding && !stop.stop_requested()) std::this_thread::yield();
        if (stop.stop_requested()) return std::nullopt;
        if (!read.isNull()) RenderPins::hold(read.pin());
        std::optional<Bitmap> picture;
        {
            std::lock_guard lock(mutex);
            if (failing) throw std::runtime_error("out of memory");
            colours.push_back(settings.colour);
            picture =
                developedCopy(*Bitmap::allocate(renderSize, renderSize, PixelFormat::RGB8, ColourSpace::sRGB()), box);
        }
        // Made, and not yet back.
        returning = true;
        while (holdingReturn) std::this_thread::yield();
        return picture;
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
    std::atomic<bool> holding = false;       // renders wait while it holds
    std::atomic<bool> holdingReturn = false; // and made pictures while this holds
    std::atomic<bool> returning = false;
    std::vector<double> colours;
    bool failing = false;
    int renderSize = 8;
    std::atomic<int> previewsMade = 0;
    PictureHandle read; // a cached picture every render reads

    WorkPool pool{1}; // renders start in the order the pool takes them
    PreviewRenderer previews{PreviewRenderer::Environment{
        &pool,
        [this](const DevelopInput&, const DevelopSettings&, std::stop_token) {
            ++previewsMade;
            return Bitmap::allocate(renderSize, renderSize, PixelFormat::RGB8, ColourSpace::sRGB());
        },
        [this](const DevelopInput&, const DevelopSettings& settings, TileBox box, std::stop_token stop) {
            return renderOne(settings, box, std::move(stop));
        },
        [this](const DevelopInput&) { return std::pair<int64_t, int64_t>(renderSize, renderSize); }}};
    TaskScope scope; // goes first, so no render outlives the renderer
    std::vector<std::shared_ptr<BatchItem>> items;
    std::vector<Uuid> newest;
};

TEST_F(PreviewRendererTest, TheCachedPicturesATileOnScreenReadStayHeldUntilItLeavesTheScreen)
{
    read = PictureHandle(PictureRecipe{2, 2, [] { return Bitmap::allocate(2, 2, PixelFormat::RGB8); }});
    const auto heldAfterForgetting = [&] {
        PictureCache::shared().forget(read.key());
        return bool(read.heldPin());
    };
    previews.setInView({items[0]->id}, {});
    previews.request(items[0]);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_TRUE(heldAfterForgetting()) << "the next light on screen reads it again";
    previews.setInView({}, {});
    EXPECT_FALSE(heldAfterForgetting());
    previews.request(items[1]); // rendered out of sight
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_FALSE(heldAfterForgetting());
}

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
    ASSERT_TRUE(item->developedCopy()) << "the tile's picture comes with the preview";
    EXPECT_EQ(item->developedCopy()->preview, *item->previewImage());
    EXPECT_EQ(previewsMade.load(), 0) << "the preview is made only when a view shows it";
    EXPECT_TRUE(item->previewImage()->pin());
    EXPECT_EQ(previewsMade.load(), 1);
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

TEST_F(PreviewRendererTest, TilesGrownPastTheirPicturesAreMadeAgainOnceThoseInViewFirst)
{
    renderSize = 600;
    for (const auto& item : items) previews.request(item);
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    newest.clear();
    for (int round = 0; round < 2; ++round) {
        previews.setInView({items[1]->id}, {});
        previews.setTileBox({560, 560});
        ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    }
    EXPECT_EQ(rendered().size(), 4u) << "each made again once, at the larger size";
    EXPECT_EQ(items[0]->developedCopy()->picture.width(), 560);
    EXPECT_TRUE(newest.empty()) << "the same settings at another size write no thumbnail";
}

TEST_F(PreviewRendererTest, ARenderStoppedAsItReturnsIsShownAndNotMadeAgain)
{
    holdingReturn = true;
    previews.request(items[0]);
    loop.runUntil([&] { return returning.load(); }, std::chrono::milliseconds(100)); // starts the render
    while (!returning) std::this_thread::yield();
    // The other tile, in view, takes the only turn from the one out of sight.
    previews.setInView({items[1]->id}, {});
    previews.follow(items[1]);
    EXPECT_TRUE(previews.wanted().contains(items[0]->id)) << "stopped, it waits for a later turn";
    holdingReturn = false;
    ASSERT_TRUE(loop.runUntil([&] { return settled(); }));
    EXPECT_EQ(rendered().size(), 2u);
    EXPECT_TRUE(previews.copyIsNewest(*items[0]));
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
