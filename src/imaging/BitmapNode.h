#pragma once

#include "imaging/Bitmap.h"
#include "imaging/ImageNode.h"

namespace oxel {

// The samples of a bitmap, scaled to 0...1 for integer formats, grey copied to R, G and B, alpha
// dropped; the extent is (0, 0, width, height).
class BitmapNode final : public ImageNode {
public:
    explicit BitmapNode(Bitmap bitmap) : bitmap_(std::move(bitmap)) {}

    Rect extent() const override;
    void render(const PixelRect& region, RGB* out, size_t stride) const override;

    const Bitmap& bitmap() const { return bitmap_; }

private:
    Bitmap bitmap_;
};

} // namespace oxel
