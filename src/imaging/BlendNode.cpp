#include "imaging/BlendNode.h"

namespace oxel {

namespace {

float overlayChannel(float a, float b)
{
    return b < 0.5f ? 2.0f * a * b : 1.0f - 2.0f * (1.0f - a) * (1.0f - b);
}

} // namespace

BlendNode::BlendNode(ImageNodePtr top, ImageNodePtr background, BlendMode mode)
    : top_(std::move(top)),
      background_(std::move(background)),
      mode_(mode),
      extent_(top_->extent().united(background_->extent()))
{}

void BlendNode::prepare() const
{
    top_->prepare();
    background_->prepare();
}

RGB BlendNode::blend(RGB a, RGB b, BlendMode mode)
{
    if (mode == BlendMode::multiply) return a * b;
    return {overlayChannel(a.r, b.r), overlayChannel(a.g, b.g), overlayChannel(a.b, b.b)};
}

void BlendNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    const size_t width = size_t(inside.width);
    ScratchBuffer top(width * size_t(inside.height)), background(width * size_t(inside.height));
    top_->render(inside, top.data(), width);
    background_->render(inside, background.data(), width);
    const Rect topExtent = top_->extent(), backgroundExtent = background_->extent();
    for (int64_t y = 0; y < inside.height; ++y) {
        const double cy = double(inside.y + y) + 0.5;
        RGB* row = out + size_t(inside.y - region.y + y) * stride + size_t(inside.x - region.x);
        const RGB* a = top.data() + size_t(y) * width;
        const RGB* b = background.data() + size_t(y) * width;
        for (size_t x = 0; x < width; ++x) {
            const double cx = double(inside.x) + double(x) + 0.5;
            const bool hasTop = topExtent.containsPoint(cx, cy), hasBackground = backgroundExtent.containsPoint(cx, cy);
            row[x] = hasTop && hasBackground ? blend(a[x], b[x], mode_) : hasTop ? a[x] : b[x];
        }
    }
}

} // namespace oxel
