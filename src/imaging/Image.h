#pragma once

#include "imaging/Bitmap.h"
#include "imaging/ImageNode.h"
#include "imaging/Pixel.h"
#include "imaging/Rect.h"

namespace oxel {

// An immutable, lazy picture recipe, the stand-in for a platform image recipe. Its extent is
// double-valued and may be infinite; samples outside it are zero. Pictures are opaque float RGB.
// Nothing is computed until a RenderContext renders the recipe; copies share their steps.
class Image {
public:
    Image() = default;
    explicit Image(ImageNodePtr node) : node_(std::move(node)) {}

    // The bitmap's samples as they stand (8 and 16 bits scaled to 0...1, grey copied to R, G and B,
    // alpha dropped), with no colour management. The extent is (0, 0, width, height).
    static Image fromBitmap(const Bitmap& bitmap);
    // One colour over the whole plane.
    static Image constant(RGB colour);

    bool isNull() const { return !node_; }
    Rect extent() const;
    const ImageNodePtr& node() const { return node_; }

    // Moves the picture; whole-pixel moves copy samples, fractional moves sample bilinearly.
    Image translated(double dx, double dy) const;
    // The picture inside `rect` only (pixels whose centres lie outside become zero).
    Image cropped(const Rect& rect) const;
    // Repeats the edge pixels outwards for ever: the extent becomes infinite.
    Image clampedToExtent() const;
    // Scales about the origin: bilinear when enlarging, area-filtered when shrinking.
    Image scaled(double sx, double sy) const;
    // Applies an EXIF orientation (1...8) so that the picture stands upright; the result's extent
    // starts at the origin. Values outside 1...8 leave the picture as it is.
    Image oriented(int exifOrientation) const;

private:
    ImageNodePtr node_;
};

} // namespace oxel
