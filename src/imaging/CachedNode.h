#pragma once

#include "imaging/ImageNode.h"

#include <mutex>
#include <vector>

namespace oxel {

// Keeps the samples of its input over a fixed rectangle once they are first needed, so that
// tiles read them instead of recomputing overlapping neighbourhoods. Regions outside the
// rectangle are computed from the input on demand.
class CachedNode final : public ImageNode {
public:
    // `tileWidth` x `tileHeight`: the tiles in which the kept samples are computed; small tiles keep
    // the scratch memory of inputs that pull wide neighbourhoods small.
    CachedNode(ImageNodePtr input, PixelRect domain, int tileWidth = 512, int tileHeight = 128)
        : input_(std::move(input)), domain_(domain), tileWidth_(tileWidth), tileHeight_(tileHeight)
    {}

    Rect extent() const override { return input_->extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override;

private:
    void fill() const;

    ImageNodePtr input_;
    PixelRect domain_;
    int tileWidth_, tileHeight_;
    mutable std::once_flag filled_;
    mutable std::vector<RGB> samples_;
};

} // namespace oxel
