#include "imaging/RenderBanded.h"
#include "imaging/CachedNode.h"
#include "imaging/ImagingTestSupport.h"
#include "imaging/Kernel.h"
#include "imaging/PictureCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>

using namespace oxel;

namespace {

// A picture whose every pixel differs, so that a band landing in the wrong rows shows.
Image gradient(int64_t width, int64_t height)
{
    return Image::fromBitmap(oxel::testing::floatBitmap(width, height, [&](int64_t x, int64_t y) {
        return RGB{float(x) / float(width), float(y) / float(height), float((x * 7 + y * 13) % 101) / 100.0f};
    }));
}

// A node that renders like its input but fails for rows at or past `failFrom`.
class FailingNode : public ImageNode {
public:
    FailingNode(Image input, int64_t failFrom) : input_(std::move(input)), failFrom_(failFrom) {}
    Rect extent() const override { return input_.extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        if (region.maxY() > failFrom_) throw std::runtime_error("tile lost");
        input_.node()->render(region, out, stride);
    }

private:
    Image input_;
    int64_t failFrom_;
};

// A node that renders like its input, slowly, and notes how many bands have tiles under way at once.
class BandCountingNode : public ImageNode {
public:
    BandCountingNode(Image input, int64_t bandRows) : input_(std::move(input)), bandRows_(bandRows) {}
    Rect extent() const override { return input_.extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        const int64_t band = region.y / bandRows_;
        {
            std::lock_guard guard(mutex_);
            ++active_[band];
            mostBands_ = std::max(mostBands_, active_.size());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        input_.node()->render(region, out, stride);
        std::lock_guard guard(mutex_);
        if (--active_[band] == 0) active_.erase(band);
    }
    size_t mostBands() const { return mostBands_; }

private:
    Image input_;
    int64_t bandRows_;
    mutable std::mutex mutex_;
    mutable std::map<int64_t, int> active_;
    mutable size_t mostBands_ = 0;
};

} // namespace

TEST(RenderBanded, EqualsOneRenderAtOddSizes)
{
    const RenderContext context;
    for (auto [width, height, bandRows] :
         {std::tuple{1, 1, 128}, {37, 300, 128}, {129, 128, 128}, {50, 257, 16}, {3, 5, 2}}) {
        const Image image = gradient(width, height);
        const auto whole = context.renderBitmap(image, {0, 0, width, height}, PixelFormat::RGBX16);
        const auto banded = renderBanded(image, width, height, true, ColourSpace{}, context, nullptr, bandRows);
        ASSERT_TRUE(banded);
        ASSERT_EQ(banded->byteCount(), whole->byteCount());
        EXPECT_EQ(std::memcmp(banded->data(), whole->data(), whole->byteCount()), 0) << width << "x" << height;
        EXPECT_EQ(banded->rowBytes(), size_t(width) * 8);

        const auto eight = renderBanded(image, width, height, false, ColourSpace{}, context, nullptr, bandRows);
        ASSERT_TRUE(eight);
        EXPECT_EQ(eight->format(), PixelFormat::RGBX8);
        EXPECT_EQ(eight->rowBytes(), size_t(width) * 4);
        const auto* wide = reinterpret_cast<const uint16_t*>(whole->data());
        for (size_t i = 0; i < eight->byteCount(); ++i) ASSERT_EQ(eight->data()[i], narrowTo8Bit(wide[i])) << i;
    }
}

TEST(RenderBanded, NarrowsByRoundingToTheNearestOf257)
{
    EXPECT_EQ(narrowTo8Bit(0), 0);
    EXPECT_EQ(narrowTo8Bit(128), 0);
    EXPECT_EQ(narrowTo8Bit(129), 1);
    EXPECT_EQ(narrowTo8Bit(32896), 128);
    EXPECT_EQ(narrowTo8Bit(65535), 255);
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(narrowTo8Bit(uint16_t(v)), uint8_t((v * 255 + 32767) / 65535)) << v;
        ASSERT_EQ(narrowTo8Bit(uint16_t(v)), uint8_t(std::lround(double(v) / 257.0))) << v;
    }
}

TEST(RenderBanded, TagsTheOutputAndLeavesUnreachedRowsBlack)
{
    const Image picture = Image::constant({1, 1, 1}).cropped({0, 0, 4, 3});
    const auto bitmap =
        renderBanded(picture.translated(0, 2), 4, 6, false, ColourSpace::displayP3(), RenderContext(), nullptr, 4);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->colourSpace(), ColourSpace::displayP3());
    for (int64_t y = 0; y < 6; ++y) {
        const uint8_t expected = (y >= 2 && y < 5) ? 255 : 0;
        EXPECT_EQ(bitmap->row(y)[0], expected) << y;
        EXPECT_EQ(bitmap->row(y)[13], expected) << y;
    }
}

TEST(RenderBanded, RefusesEmptySizesOverflowAndFailedBands)
{
    const Image image = gradient(8, 8);
    const RenderContext context;
    EXPECT_FALSE(renderBanded(image, 0, 8, false, {}, context));
    EXPECT_FALSE(renderBanded(image, 8, -5, true, {}, context));
    EXPECT_FALSE(renderBanded(image, 8, 8, true, {}, context, nullptr, 0));
    EXPECT_FALSE(renderBanded(image, int64_t(1) << 61, 2, true, {}, context));
    EXPECT_FALSE(renderBanded(image, int64_t(1) << 40, int64_t(1) << 40, false, {}, context));

    // A failure in the last band makes the whole render fail instead of returning a part.
    const Image failing(std::make_shared<FailingNode>(image, 6));
    EXPECT_FALSE(renderBanded(failing, 8, 8, false, {}, context, nullptr, 4));
    EXPECT_FALSE(renderBanded(failing, 8, 8, true, {}, context, nullptr, 4));
    EXPECT_TRUE(renderBanded(failing, 8, 6, false, {}, context, nullptr, 4));
}

TEST(RenderBanded, OverlapsAtMostTwoBandsAndKeepsEveryRowInPlace)
{
    const Image image = gradient(700, 300);
    const RenderContext context;
    const auto counting = std::make_shared<BandCountingNode>(image, 16);
    const auto banded = renderBanded(Image(counting), 700, 300, true, {}, context, nullptr, 16);
    ASSERT_TRUE(banded);
    EXPECT_LE(counting->mostBands(), 2u) << "memory is bounded by two bands";
    const auto whole = renderBanded(image, 700, 300, true, {}, context, nullptr, 300);
    ASSERT_TRUE(whole);
    for (int64_t y = 0; y < 300; ++y)
        ASSERT_EQ(std::memcmp(banded->row(y), whole->row(y), size_t(700 * 8)), 0) << "row " << y;
}

// A node that renders like its input and asks its render to stop.
class StoppingNode : public ImageNode {
public:
    StoppingNode(Image input, std::stop_source stop) : input_(std::move(input)), stop_(std::move(stop)) {}
    Rect extent() const override { return input_.extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        stop_.request_stop();
        rowsRendered += region.height;
        input_.node()->render(region, out, stride);
    }
    mutable std::atomic<int64_t> rowsRendered = 0;

private:
    Image input_;
    std::stop_source stop_;
};

TEST(RenderBanded, ARenderStoppedWhilePreparingMakesNoMoreOfTheCachedPicturesItReads)
{
    std::stop_source stop;
    const PixelRect area{0, 0, 64, 32};
    const auto inner = std::make_shared<CachedNode>(std::make_shared<StoppingNode>(gradient(64, 32), stop), area);
    const Image outer(std::make_shared<CachedNode>(inner, area));
    const auto madeBefore = PictureCache::shared().statistics().made;
    EXPECT_FALSE(renderBanded(outer, 64, 32, false, {}, RenderContext(), nullptr, 8, stop.get_token()));
    EXPECT_EQ(PictureCache::shared().statistics().made, madeBefore + 1) << "the outer picture was made after the stop";
}

TEST(RenderBanded, ARenderStoppedWhileACachedPictureIsMadeGivesItUpWithinAStrip)
{
    std::stop_source stop;
    const PixelRect area{0, 0, 64, 4096};
    const auto stopping = std::make_shared<StoppingNode>(gradient(64, 4096), stop);
    const Image cached(std::make_shared<CachedNode>(stopping, area));
    const auto madeBefore = PictureCache::shared().statistics().made;
    EXPECT_FALSE(renderBanded(cached, 64, 4096, false, {}, RenderContext(), nullptr, 64, stop.get_token()));
    EXPECT_LT(stopping->rowsRendered, 1024) << "the picture under way was made whole after the stop";
    EXPECT_EQ(PictureCache::shared().statistics().made, madeBefore);
}
