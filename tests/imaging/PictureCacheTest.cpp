#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"

#include "imaging/ImagingTestSupport.h"
#include "imaging/Kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace oxel {
namespace {

Bitmap bitmapOf(int64_t bytes)
{
    return *Bitmap::allocate(bytes / 4, 1, PixelFormat::RGBX8);
}

PictureCache::Make counted(int& makes, int64_t bytes)
{
    return [&makes, bytes] {
        ++makes;
        return std::optional(bitmapOf(bytes));
    };
}

TEST(PictureCache, ConcurrentRequestsMakeOnce)
{
    PictureCache cache(1 << 20);
    std::atomic<int> makes = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            const auto bitmap = cache.bitmap("a", [&] {
                ++makes;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return std::optional(bitmapOf(4000));
            });
            EXPECT_TRUE(bitmap);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(makes, 1);
    EXPECT_EQ(cache.bytesHeld(), 4000u);
    EXPECT_EQ(cache.statistics().made, 1u);
    EXPECT_EQ(cache.statistics().hits, 7u);
}

TEST(PictureCache, KeepsWithinItsBytesButAlwaysTheNewest)
{
    PictureCache cache(10000);
    int makes = 0;
    cache.bitmap("a", counted(makes, 4000));
    cache.bitmap("b", counted(makes, 4000));
    cache.bitmap("a", counted(makes, 4000)); // a is now the more recent
    cache.bitmap("c", counted(makes, 4000)); // b goes
    EXPECT_EQ(makes, 3);
    EXPECT_LE(cache.bytesHeld(), 10000u);
    cache.bitmap("a", counted(makes, 4000));
    EXPECT_EQ(makes, 3);
    cache.bitmap("b", counted(makes, 4000));
    EXPECT_EQ(makes, 4);
    // A picture larger than the whole bound is still kept while it is the newest.
    cache.bitmap("huge", counted(makes, 40000));
    EXPECT_EQ(cache.bytesHeld(), 40000u);
    cache.bitmap("huge", counted(makes, 40000));
    EXPECT_EQ(makes, 5);
    EXPECT_EQ(cache.statistics().evicted, 4u);
}

TEST(PictureCache, EvictionNeverLetsAPinnedPictureGo)
{
    PictureCache cache(10000);
    int makes = 0;
    PictureCache::Pin pinned = cache.pin("kept", counted(makes, 8000));
    const uint8_t* pixels = pinned.bitmap().data();
    for (const char* key : {"b", "c", "d", "e"}) cache.bitmap(key, counted(makes, 4000));
    EXPECT_TRUE(cache.contains("kept"));
    EXPECT_EQ(cache.bitmap("kept", counted(makes, 8000))->data(), pixels);
    EXPECT_EQ(makes, 5);
    cache.clear();
    EXPECT_TRUE(cache.contains("kept"));
    // Once let go, the pinned picture is an ordinary one again, and the bound is kept.
    pinned = {};
    cache.bitmap("f", counted(makes, 4000));
    EXPECT_FALSE(cache.contains("kept"));
    EXPECT_LE(cache.bytesHeld(), 10000u);
}

TEST(PictureCache, APictureCountsAsUsedWhenItsLastPinGoesUnlessItIsLetGoFirst)
{
    PictureCache cache(15000);
    int makes = 0, readMakes = 0;
    PictureCache::Pin tile = cache.pin("tile", counted(makes, 4000));
    PictureCache::Pin outOfSight = cache.pin("out of sight", counted(makes, 4000));
    cache.bitmap("read by a pass", counted(makes, 4000));
    {
        // A render that reads once: both makings read one picture, which stays until the render ends.
        const RenderPins readOnce(RenderPins::Scope::ownScope, RenderPins::Reading::once);
        for (const char* key : {"made", "made too"})
            RenderPins::hold(cache.pin(key, [&] {
                RenderPins::hold(cache.pin("read to make them", counted(readMakes, 2000)));
                return std::optional(bitmapOf(2000));
            }));
    }
    EXPECT_EQ(readMakes, 1);
    tile = {};
    outOfSight.letGoFirst();
    for (const char* key : {"b", "c"}) cache.bitmap(key, counted(makes, 4000));
    EXPECT_TRUE(cache.contains("tile"));
    for (const char* key : {"out of sight", "read by a pass", "made", "made too", "read to make them"})
        EXPECT_FALSE(cache.contains(key)) << key;
}

TEST(PictureCache, FailuresAreNotKeptAndThrowingBlocksNoLaterRequest)
{
    const auto cache = std::make_shared<PictureCache>(1 << 20);
    int makes = 0;
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(cache->pin("bad", [&] {
            ++makes;
            return std::optional<Bitmap>();
        }));
    EXPECT_EQ(makes, 2);
    EXPECT_EQ(cache->bytesHeld(), 0u);
    EXPECT_FALSE(cache->bitmap("big", []() -> std::optional<Bitmap> { throw std::bad_alloc(); }));
    // The next request runs on its own thread so that a hang shows as a failure, not a stuck run.
    const auto answered = std::make_shared<std::atomic<bool>>(false);
    std::thread([cache, answered] {
        if (cache->bitmap("big", [] { return std::optional(bitmapOf(4000)); })) *answered = true;
    }).detach();
    for (int i = 0; i < 200 && !*answered; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(*answered);
    EXPECT_EQ(cache->bytesHeld(), 4000u);
}

TEST(PictureCache, ForgettingAPinnedPictureLetsItGoWhenTheLastPinDoes)
{
    PictureCache cache(1 << 20);
    int makes = 0;
    {
        const PictureCache::Pin pinned = cache.pin("a", counted(makes, 4000));
        cache.forget("a");
        EXPECT_TRUE(cache.contains("a"));
    }
    EXPECT_FALSE(cache.contains("a"));
    EXPECT_EQ(cache.bytesHeld(), 0u);
}

// ---- Handles -------------------------------------------------------------------------------------

struct SharedCacheBound {
    explicit SharedCacheBound(size_t bytes) : before(PictureCache::shared().byteLimit())
    {
        PictureCache::shared().clear();
        PictureCache::shared().setByteLimit(bytes);
    }
    ~SharedCacheBound() { PictureCache::shared().setByteLimit(before); }
    size_t before;
};

PictureRecipe gradientRecipe(std::atomic<int>& makes, int64_t width = 64, int64_t height = 48)
{
    return {width, height, [&makes, width, height] {
                ++makes;
                return std::optional(testing::floatBitmap(width, height, [](int64_t x, int64_t y) {
                    return RGB{float(x) / 64, float(y) / 48, 0.5f};
                }));
            }};
}

TEST(PictureHandle, AnEvictedPictureIsMadeAgainWithTheSamePixels)
{
    const SharedCacheBound bound(64 * 48 * 12 + 100);
    std::atomic<int> makes = 0;
    const PictureHandle handle(gradientRecipe(makes));
    const Image image = handle.image();
    const auto first = testing::renderAll(image, {0, 0, 64, 48});
    EXPECT_EQ(makes, 1);
    PictureCache::shared().bitmap("other", [] { return std::optional(bitmapOf(64 * 48 * 12)); });
    EXPECT_FALSE(PictureCache::shared().contains(handle.key()));
    const auto second = testing::renderAll(image, {0, 0, 64, 48});
    EXPECT_EQ(makes, 2);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first[size_t(47 * 64 + 63)], (RGB{63.0f / 64, 47.0f / 48, 0.5f}));
}

TEST(PictureHandle, ARenderPinsItsPicturesSoItsTilesMakeThemOnce)
{
    // Far below one picture: without the render's pins every tile would make it again.
    const SharedCacheBound bound(1000);
    std::atomic<int> makes = 0;
    const PictureHandle a(gradientRecipe(makes, 600, 300)), b(gradientRecipe(makes, 600, 300));
    const Image both = applyKernel(
        Rect::ofSize(600, 300), [](RGB x, RGB y) { return x + y; }, a.image(), b.image());
    RenderContext context(RenderContext::Options{64, 32});
    std::vector<RGB> pixels(600 * 300);
    context.render(both, {0, 0, 600, 300}, pixels.data(), 600);
    EXPECT_EQ(makes, 2);
    EXPECT_FLOAT_EQ(pixels[0].b, 1.0f);
}

TEST(PictureHandle, ConcurrentRequestsForOneHandleMakeItOnce)
{
    const SharedCacheBound bound(1 << 24);
    std::atomic<int> makes = 0;
    const PictureHandle handle(gradientRecipe(makes));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) threads.emplace_back([&] { EXPECT_TRUE(handle.bitmap()); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(makes, 1);
}

TEST(PictureHandle, TheLastCopyOfAHandleLetsItsPictureGo)
{
    const SharedCacheBound bound(1 << 24);
    std::atomic<int> makes = 0;
    std::string key;
    {
        const Bitmap made = testing::floatBitmap(4, 4, [](int64_t, int64_t) { return RGB{}; });
        const PictureHandle handle = PictureHandle::seeded(made, gradientRecipe(makes, 4, 4));
        key = handle.key();
        EXPECT_TRUE(PictureCache::shared().contains(key));
        const PictureHandle copy = handle;
        EXPECT_TRUE(copy.bitmap());
        EXPECT_EQ(makes, 0);
    }
    EXPECT_FALSE(PictureCache::shared().contains(key));
}

TEST(PictureHandle, APictureThatCannotBeMadeRendersBlack)
{
    const SharedCacheBound bound(1 << 24);
    const PictureHandle handle(PictureRecipe{8, 8, [] { return std::optional<Bitmap>(); }, "[test] no picture"});
    EXPECT_FALSE(handle.bitmap());
    EXPECT_EQ(testing::pixelAt(handle.image(), 3, 3), RGB{});
    EXPECT_EQ(handle.image().extent(), Rect::ofSize(8, 8));
}

} // namespace
} // namespace oxel
