#pragma once

#include "imaging/ImageNode.h"
#include "imaging/PictureHandle.h"

namespace oxel {

// Keeps the samples of its input over a fixed rectangle once they are first needed, so that
// tiles read them instead of recomputing overlapping neighbourhoods. The samples live in the
// shared picture cache, which computes them again when it let them go; regions outside the
// rectangle are computed from the input on demand.
class CachedNode final : public ImageNode {
public:
    // `tileWidth` x `tileHeight`: the tiles in which the kept samples are computed; small tiles keep
    // the scratch memory of inputs that pull wide neighbourhoods small.
    CachedNode(ImageNodePtr input, PixelRect domain, int tileWidth = 512, int tileHeight = 128);

    Rect extent() const override { return input_->extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override;

private:
    ImageNodePtr input_;
    PixelRect domain_;
    PictureHandle samples_;
};

} // namespace oxel
