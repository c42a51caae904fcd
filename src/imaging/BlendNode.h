#pragma once

#include "imaging/ImageNode.h"

namespace oxel {

enum class BlendMode { overlay, multiply };

// A blend of `top` over `background` over the union of their extents; where only one of them has
// pixels, that one shows unchanged.
class BlendNode final : public ImageNode {
public:
    BlendNode(ImageNodePtr top, ImageNodePtr background, BlendMode mode);

    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override;

    static RGB blend(RGB top, RGB background, BlendMode mode);

private:
    ImageNodePtr top_, background_;
    BlendMode mode_;
    Rect extent_;
};

} // namespace oxel
