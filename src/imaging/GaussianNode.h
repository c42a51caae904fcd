#pragma once

#include "imaging/ImageNode.h"

#include <vector>

namespace oxel {

// A direct separable Gaussian convolution, truncated at 4 sigma and normalised; for small sigmas.
class GaussianNode final : public ImageNode {
public:
    GaussianNode(ImageNodePtr input, double sigma);

    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

    int radius() const { return radius_; }

private:
    ImageNodePtr input_;
    int radius_;
    std::vector<float> weights_;
    Rect extent_;
};

} // namespace oxel
