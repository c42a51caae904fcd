#include "imaging/GeometryNodes.h"

#include <algorithm>

namespace oxel {

void ConstantNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    for (int64_t y = 0; y < region.height; ++y) {
        RGB* row = out + size_t(y) * stride;
        std::fill(row, row + region.width, colour_);
    }
}

void OffsetNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    input_->render({region.x - dx_, region.y - dy_, region.width, region.height}, out, stride);
}

void CropNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    input_->render(inside, out + size_t(inside.y - region.y) * stride + size_t(inside.x - region.x), stride);
}

void ClampNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    if (source_.isEmpty()) {
        for (int64_t y = 0; y < region.height; ++y)
            std::fill(out + size_t(y) * stride, out + size_t(y) * stride + region.width, RGB{});
        return;
    }
    // Render the part of the source that the region reaches, then repeat its edges.
    const PixelRect clampedRegion{std::clamp(region.x, source_.x, source_.maxX() - 1),
                                  std::clamp(region.y, source_.y, source_.maxY() - 1), 0, 0};
    const int64_t x1 = std::clamp(region.maxX() - 1, source_.x, source_.maxX() - 1);
    const int64_t y1 = std::clamp(region.maxY() - 1, source_.y, source_.maxY() - 1);
    const PixelRect inner{clampedRegion.x, clampedRegion.y, x1 - clampedRegion.x + 1, y1 - clampedRegion.y + 1};
    if (inner.x == region.x && inner.y == region.y && inner.width == region.width && inner.height == region.height) {
        input_->render(region, out, stride);
        return;
    }
    ScratchBuffer scratch(size_t(inner.area()));
    RGB* source = scratch.data();
    input_->render(inner, source, size_t(inner.width));
    for (int64_t y = 0; y < region.height; ++y) {
        const int64_t sy = std::clamp(region.y + y, inner.y, inner.maxY() - 1) - inner.y;
        const RGB* sourceRow = source + size_t(sy) * size_t(inner.width);
        RGB* row = out + size_t(y) * stride;
        for (int64_t x = 0; x < region.width; ++x) {
            const int64_t sx = std::clamp(region.x + x, inner.x, inner.maxX() - 1) - inner.x;
            row[x] = sourceRow[sx];
        }
    }
}

OrientNode::OrientNode(ImageNodePtr input, PixelRect source, int orientation)
    : input_(std::move(input)), source_(source), orientation_(orientation)
{
    const bool turned = orientation_ >= 5;
    extent_ = turned ? Rect::ofSize(double(source_.height), double(source_.width))
                     : Rect::ofSize(double(source_.width), double(source_.height));
}

void OrientNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    const int64_t w = source_.width, h = source_.height;
    // Where output pixel (x, y) comes from, in source coordinates relative to its origin.
    auto map = [&](int64_t x, int64_t y, int64_t& sx, int64_t& sy) {
        switch (orientation_) {
        case 2:
            sx = w - 1 - x;
            sy = y;
            break;
        case 3:
            sx = w - 1 - x;
            sy = h - 1 - y;
            break;
        case 4:
            sx = x;
            sy = h - 1 - y;
            break;
        case 5:
            sx = y;
            sy = x;
            break;
        case 6:
            sx = y;
            sy = h - 1 - x;
            break;
        case 7:
            sx = w - 1 - y;
            sy = h - 1 - x;
            break;
        case 8:
            sx = w - 1 - y;
            sy = x;
            break;
        default:
            sx = x;
            sy = y;
            break;
        }
    };
    // The source rectangle that the inside part maps from.
    int64_t ax, ay, bx, by;
    map(inside.x, inside.y, ax, ay);
    map(inside.maxX() - 1, inside.maxY() - 1, bx, by);
    const PixelRect from{source_.x + std::min(ax, bx), source_.y + std::min(ay, by), std::abs(bx - ax) + 1,
                         std::abs(by - ay) + 1};
    ScratchBuffer scratch(size_t(from.area()));
    RGB* source = scratch.data();
    input_->render(from, source, size_t(from.width));
    for (int64_t y = inside.y; y < inside.maxY(); ++y) {
        RGB* row = out + size_t(y - region.y) * stride;
        for (int64_t x = inside.x; x < inside.maxX(); ++x) {
            int64_t sx, sy;
            map(x, y, sx, sy);
            row[x - region.x] =
                source[size_t(sy + source_.y - from.y) * size_t(from.width) + size_t(sx + source_.x - from.x)];
        }
    }
}

} // namespace oxel
