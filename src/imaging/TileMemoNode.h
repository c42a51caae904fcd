#pragma once

#include "imaging/Image.h"

#include <cstdint>

namespace oxel {

// A picture that one tile reads more than once, over nested regions (two blurs of different reach
// over the same input): each thread keeps the last region it rendered of it, and a later request
// that lies within that region is copied from it instead of being rendered again. Rendering is a
// pure function of the region, so the copy is exactly what rendering again would give.
class TileMemoNode final : public ImageNode {
public:
    explicit TileMemoNode(ImageNodePtr input);

    Rect extent() const override { return input_->extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

    // Regions up to this many pixels are kept; larger ones are rendered each time.
    static constexpr int64_t largestKept = int64_t(1) << 18;

private:
    ImageNodePtr input_;
    uint64_t id_; // never reused, unlike the node's address
};

// `image` read through a `TileMemoNode`. Renders must read its largest region first.
Image tileMemoised(const Image& image);

} // namespace oxel
