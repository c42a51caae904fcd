#include "imaging/CachedNode.h"

#include "imaging/Image.h"
#include "imaging/RenderContext.h"
#include "imaging/RenderStop.h"

#include <tbb/task_arena.h>

#include <algorithm>

namespace oxel {

namespace {

// Rows of tiles made between two looks at the stop of the render the samples are made for.
constexpr int64_t stripTiles = 4;

// The input's float samples over `domain`, as a bitmap.
std::optional<Bitmap> samplesOf(const ImageNodePtr& input, const PixelRect& domain, RenderContext::Options tiles)
{
    auto bitmap = Bitmap::allocate(domain.width, domain.height, PixelFormat::RGBF);
    if (!bitmap) return std::nullopt;
    // Samples as large as the original take seconds to make: a render asked to stop gives its
    // thread back within a strip of them rather than once they are whole.
    const std::stop_token stop = RenderStop::token();
    const int64_t stripRows = stripTiles * int64_t(std::max(1, tiles.tileHeight));
    bool stopped = false;
    // Isolated, so a thread waiting for the nested work never picks up a tile that needs these
    // same samples and waits for them itself.
    tbb::this_task_arena::isolate([&] {
        input->prepare();
        const size_t stride = bitmap->rowBytes() / sizeof(RGB);
        for (int64_t y = 0; y < domain.height; y += stripRows) {
            // Not made for a render that stopped meanwhile; whoever waited for them makes them itself.
            if ((stopped = stop.stop_requested())) return;
            const PixelRect strip{domain.x, domain.y + y, domain.width, std::min(stripRows, domain.height - y)};
            RenderContext(tiles).render(Image(input), strip, reinterpret_cast<RGB*>(bitmap->mutableRow(y)), stride);
        }
    });
    if (stopped) return std::nullopt;
    return bitmap;
}

} // namespace

CachedNode::CachedNode(ImageNodePtr input, PixelRect domain, int tileWidth, int tileHeight)
    : input_(std::move(input)),
      domain_(domain),
      samples_(PictureRecipe{domain.width, domain.height, [input = input_, domain, tileWidth, tileHeight] {
                                 return samplesOf(input, domain, {tileWidth, tileHeight});
                             }})
{}

void CachedNode::prepare() const
{
    if (RenderStop::requested()) return;
    RenderPins::hold(samples_.pin());
}

void CachedNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PictureCache::Pin samples = region.intersection(domain_) == region ? samples_.pin() : PictureCache::Pin();
    if (!samples) {
        input_->render(region, out, stride);
        return;
    }
    const Bitmap& bitmap = samples.bitmap();
    for (int64_t y = 0; y < region.height; ++y) {
        const RGB* from = reinterpret_cast<const RGB*>(bitmap.row(region.y - domain_.y + y)) + (region.x - domain_.x);
        std::copy(from, from + region.width, out + size_t(y) * stride);
    }
}

} // namespace oxel
