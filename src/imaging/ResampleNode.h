#pragma once

#include "imaging/ImageNode.h"

#include <vector>

namespace oxel {

// How one axis of a resample weighs its input samples.
enum class ResampleFilter {
    linear,   // bilinear when enlarging, area coverage when shrinking
    lanczos3, // Lanczos-3, its support widened by 1 / scale when shrinking
    tent,     // a triangle whose half-width is one output sample: anti-aliased linear shrinking
};

// The taps of one axis: output sample o reads count[o] input samples from first[o] on.
struct AxisTaps {
    std::vector<int64_t> first;
    std::vector<int> count;
    std::vector<size_t> offset;
    std::vector<float> weights;
    int64_t inputBegin = 0, inputEnd = 0;
    bool identity = false;
};

// Output = input scaled by (sx, sy) about the origin, then moved by (tx, ty); separable.
class ResampleNode final : public ImageNode {
public:
    ResampleNode(ImageNodePtr input, double sx, double sy, double tx, double ty, ResampleFilter filter);

    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

    // The taps for outputs begin...end of an axis with this scale and move (exposed for tests).
    static AxisTaps taps(int64_t begin, int64_t end, double scale, double move, ResampleFilter filter);

    // Output rows begin...end of a tile and the input rows first...last that they read.
    struct RowBand {
        int64_t begin, end, first, last;
    };
    // How a shrinking tile's output rows are split into bands (exposed for tests).
    static std::vector<RowBand> rowBands(const AxisTaps& yt, int64_t rows, int64_t inputWidth);

private:
    void shrinkVertically(const PixelRect& from, const AxisTaps& yt, int64_t rows, const AxisTaps& xt, int64_t width,
                          RGB* target, size_t stride) const;

    ImageNodePtr input_;
    double sx_, sy_, tx_, ty_;
    ResampleFilter filter_;
    Rect extent_;
};

} // namespace oxel
