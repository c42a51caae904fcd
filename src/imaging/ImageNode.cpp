#include "imaging/ImageNode.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace oxel {

namespace {

// Each thread keeps a stack of buffers; nested nodes take the next one down.
struct ScratchStack {
    std::vector<std::unique_ptr<std::vector<RGB>>> buffers;
    size_t depth = 0;
};

thread_local ScratchStack scratchStack;

} // namespace

ScratchBuffer::ScratchBuffer(size_t samples)
{
    ScratchStack& stack = scratchStack;
    if (stack.depth == stack.buffers.size()) stack.buffers.push_back(std::make_unique<std::vector<RGB>>());
    buffer_ = stack.buffers[stack.depth++].get();
    // One spare sample, so that vector loads of a row's last pixel stay inside the buffer.
    if (buffer_->size() < samples + 1) buffer_->resize(samples + 1);
    data_ = buffer_->data();
}

ScratchBuffer::~ScratchBuffer()
{
    ScratchStack& stack = scratchStack;
    --stack.depth;
    // Give back memory held for an unusually large request (over 12 MB), so that one wide tile
    // doesn't pin it for ever on every thread of the pool.
    if (buffer_->size() > (size_t(1) << 20)) {
        buffer_->clear();
        buffer_->shrink_to_fit();
    }
}

PixelRect clearOutside(const Rect& extent, const PixelRect& region, RGB* out, size_t stride)
{
    const PixelRect inside = PixelRect::covering(extent, region);
    if (inside == region) return inside;
    for (int64_t y = 0; y < region.height; ++y) {
        RGB* row = out + size_t(y) * stride;
        const int64_t imageY = region.y + y;
        if (inside.isEmpty() || imageY < inside.y || imageY >= inside.maxY()) {
            std::fill(row, row + region.width, RGB{});
            continue;
        }
        std::fill(row, row + (inside.x - region.x), RGB{});
        std::fill(row + (inside.maxX() - region.x), row + region.width, RGB{});
    }
    return inside;
}

} // namespace oxel
