#include "imaging/TileMemoNode.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace oxel {
namespace {

std::atomic<uint64_t> nextId{1};

struct KeptRegion {
    uint64_t node = 0;
    PixelRect rect;
    std::vector<RGB> pixels;
};

bool contains(const PixelRect& outer, const PixelRect& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.maxX() <= outer.maxX() && inner.maxY() <= outer.maxY();
}

} // namespace

TileMemoNode::TileMemoNode(ImageNodePtr input) : input_(std::move(input)), id_(nextId++)
{}

void TileMemoNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    thread_local KeptRegion kept;
    if (kept.node == id_ && contains(kept.rect, region)) {
        for (int64_t y = 0; y < region.height; ++y) {
            const RGB* from = kept.pixels.data() + size_t(region.y - kept.rect.y + y) * size_t(kept.rect.width) +
                              size_t(region.x - kept.rect.x);
            std::copy_n(from, size_t(region.width), out + size_t(y) * stride);
        }
        return;
    }
    input_->render(region, out, stride);
    if (region.area() > largestKept) return;
    // Kept after rendering: a render nested in this one (a picture made on demand) may have kept
    // its own region in the meantime.
    kept.node = id_;
    kept.rect = region;
    kept.pixels.resize(size_t(region.area()));
    for (int64_t y = 0; y < region.height; ++y)
        std::copy_n(out + size_t(y) * stride, size_t(region.width), kept.pixels.data() + size_t(y * region.width));
}

Image tileMemoised(const Image& image)
{
    if (image.isNull()) return image;
    return Image(std::make_shared<TileMemoNode>(image.node()));
}

} // namespace oxel
