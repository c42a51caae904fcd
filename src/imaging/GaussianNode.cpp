#include "imaging/GaussianNode.h"

#include "imaging/RowMath.h"

#include <algorithm>
#include <cmath>

namespace oxel {

GaussianNode::GaussianNode(ImageNodePtr input, double sigma) : input_(std::move(input))
{
    radius_ = std::max(1, int(std::ceil(4.0 * sigma)));
    weights_.resize(size_t(2 * radius_ + 1));
    double sum = 0;
    for (int k = -radius_; k <= radius_; ++k) {
        const double w = std::exp(-0.5 * double(k) * double(k) / (sigma * sigma));
        weights_[size_t(k + radius_)] = float(w);
        sum += w;
    }
    for (float& w : weights_) w = float(double(w) / sum);
    extent_ = input_->extent().insetBy(-radius_, -radius_);
}

void GaussianNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    const int64_t r = radius_;
    const PixelRect from{inside.x - r, inside.y - r, inside.width + 2 * r, inside.height + 2 * r};
    ScratchBuffer source(size_t(from.area()));
    input_->render(from, source.data(), size_t(from.width));

    // Horizontal pass over rows as flat floats: a neighbour pixel is 3 floats away.
    const size_t outFloats = size_t(inside.width) * 3;
    ScratchBuffer across(size_t(from.height) * size_t(inside.width));
    for (int64_t y = 0; y < from.height; ++y) {
        convolveRow(reinterpret_cast<float*>(across.data() + size_t(y) * size_t(inside.width)),
                    reinterpret_cast<const float*>(source.data() + size_t(y) * size_t(from.width)), weights_.data(),
                    weights_.size(), 3, outFloats);
    }
    // Vertical pass: rows of the horizontal result are `inside.width` pixels apart.
    for (int64_t y = 0; y < inside.height; ++y) {
        convolveRow(
            reinterpret_cast<float*>(out + size_t(inside.y - region.y + y) * stride + size_t(inside.x - region.x)),
            reinterpret_cast<const float*>(across.data() + size_t(y) * size_t(inside.width)), weights_.data(),
            weights_.size(), 3 * size_t(inside.width), outFloats);
    }
}

} // namespace oxel
