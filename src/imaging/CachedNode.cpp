#include "imaging/CachedNode.h"

#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <tbb/task_arena.h>

#include <algorithm>

namespace oxel {

void CachedNode::fill() const
{
    std::call_once(filled_, [this] {
        // Isolated, so a thread waiting for the nested work never picks up a tile that needs
        // this same cache and deadlocks on it.
        tbb::this_task_arena::isolate([this] {
            input_->prepare();
            samples_.resize(size_t(domain_.area()));
            RenderContext({.tileWidth = tileWidth_, .tileHeight = tileHeight_})
                .render(Image(input_), domain_, samples_.data(), size_t(domain_.width));
        });
    });
}

void CachedNode::prepare() const
{
    fill();
}

void CachedNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    if (region.intersection(domain_) != region) {
        input_->render(region, out, stride);
        return;
    }
    fill();
    for (int64_t y = 0; y < region.height; ++y) {
        const RGB* from =
            samples_.data() + size_t(region.y - domain_.y + y) * size_t(domain_.width) + size_t(region.x - domain_.x);
        std::copy(from, from + region.width, out + size_t(y) * stride);
    }
}

} // namespace oxel
