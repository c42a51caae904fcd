#include "imaging/Image.h"

#include "imaging/BitmapNode.h"
#include "imaging/GeometryNodes.h"
#include "imaging/ResampleNode.h"

#include <cmath>

namespace oxel {

namespace {

// The whole pixels of a finite extent (those whose centres lie inside it).
PixelRect pixelsOf(const Rect& extent)
{
    const double big = 1e15;
    return PixelRect::covering(extent, {int64_t(-big), int64_t(-big), int64_t(2 * big), int64_t(2 * big)});
}

} // namespace

Image Image::fromBitmap(const Bitmap& bitmap)
{
    if (bitmap.isNull()) return {};
    return Image(std::make_shared<BitmapNode>(bitmap));
}

Image Image::constant(RGB colour)
{
    return Image(std::make_shared<ConstantNode>(colour));
}

Rect Image::extent() const
{
    return node_ ? node_->extent() : Rect{};
}

Image Image::translated(double dx, double dy) const
{
    if (!node_) return {};
    if (dx == 0 && dy == 0) return *this;
    if (dx == std::floor(dx) && dy == std::floor(dy)) {
        return Image(std::make_shared<OffsetNode>(node_, int64_t(dx), int64_t(dy)));
    }
    return Image(std::make_shared<ResampleNode>(node_, 1.0, 1.0, dx, dy, ResampleFilter::linear));
}

Image Image::cropped(const Rect& rect) const
{
    if (!node_) return {};
    return Image(std::make_shared<CropNode>(node_, rect));
}

Image Image::clampedToExtent() const
{
    if (!node_) return {};
    const Rect extent = node_->extent();
    if (extent.isInfinite()) return *this;
    return Image(std::make_shared<ClampNode>(node_, pixelsOf(extent)));
}

Image Image::scaled(double sx, double sy) const
{
    if (!node_ || !(sx > 0) || !(sy > 0)) return {};
    if (sx == 1.0 && sy == 1.0) return *this;
    return Image(std::make_shared<ResampleNode>(node_, sx, sy, 0.0, 0.0, ResampleFilter::linear));
}

Image Image::oriented(int exifOrientation) const
{
    if (!node_) return {};
    const Rect extent = node_->extent();
    if (exifOrientation < 1 || exifOrientation > 8 || extent.isInfinite()) return *this;
    const PixelRect source = pixelsOf(extent);
    if (exifOrientation == 1) return translated(-double(source.x), -double(source.y));
    return Image(std::make_shared<OrientNode>(node_, source, exifOrientation));
}

} // namespace oxel
