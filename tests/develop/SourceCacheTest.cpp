#include "develop/SourceCache.h"

#include "develop/PictureFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace oxel {
namespace {

Bitmap bitmapOf(int64_t bytes)
{
    return *Bitmap::allocate(bytes / 4, 1, PixelFormat::RGBX8);
}

TEST(SourceCache, ConcurrentRequestsDecodeOnce)
{
    SourceCache cache(1 << 20);
    std::atomic<int> decodes = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            const auto bitmap = cache.bitmap("a", [&] {
                ++decodes;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return std::optional(bitmapOf(4000));
            });
            EXPECT_TRUE(bitmap);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(decodes, 1);
    EXPECT_EQ(cache.bytesHeld(), 4000u);
}

TEST(SourceCache, KeepsWithinItsBytesButAlwaysTheNewest)
{
    SourceCache cache(10000);
    int decodes = 0;
    const auto decode = [&](int64_t bytes) {
        return [&decodes, bytes] {
            ++decodes;
            return std::optional(bitmapOf(bytes));
        };
    };
    cache.bitmap("a", decode(4000));
    cache.bitmap("b", decode(4000));
    cache.bitmap("a", decode(4000)); // a is now the more recent
    cache.bitmap("c", decode(4000)); // b goes
    EXPECT_EQ(decodes, 3);
    EXPECT_LE(cache.bytesHeld(), 10000u);
    cache.bitmap("a", decode(4000));
    EXPECT_EQ(decodes, 3);
    cache.bitmap("b", decode(4000));
    EXPECT_EQ(decodes, 4);
    // A picture larger than the whole bound is still kept while it is the newest.
    cache.bitmap("huge", decode(40000));
    EXPECT_EQ(cache.bytesHeld(), 40000u);
    cache.bitmap("huge", decode(40000));
    EXPECT_EQ(decodes, 5);
}

TEST(SourceCache, FailuresAreNotKept)
{
    SourceCache cache(1 << 20);
    int decodes = 0;
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(cache.bitmap("bad", [&] {
            ++decodes;
            return std::optional<Bitmap>();
        }));
    EXPECT_EQ(decodes, 2);
    EXPECT_EQ(cache.bytesHeld(), 0u);
}

TEST(SourceCache, DecodeThatThrowsIsAFailureAndBlocksNoLaterRequest)
{
    const auto cache = std::make_shared<SourceCache>(1 << 20);
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

TEST(StampedFile, ChangedContentIsRefused)
{
    test::TempFolder folder;
    const auto path = folder / "f.bin";
    test::writeFile(path, {1, 2, 3});
    const auto stamp = FileState::of(path);
    ASSERT_TRUE(stamp);
    EXPECT_EQ(readStampedFile(path, *stamp), (std::vector<uint8_t>{1, 2, 3}));
    test::writeFile(path, {1, 2, 3, 4});
    EXPECT_FALSE(readStampedFile(path, *stamp));
    EXPECT_FALSE(FileState::of(folder / "none"));
    EXPECT_FALSE(FileState::of(folder.path()));
}

} // namespace
} // namespace oxel
