#pragma once

#include "imaging/Image.h"
#include "imaging/Kernel.h"

namespace oxel {

// A per-pixel kernel: renders each input over the same rows into scratch, then runs the kernel
// row by row, so a chain of kernels costs one pass per tile.
class KernelNode final : public ImageNode {
public:
    KernelNode(Rect extent, SpanKernel kernel, std::vector<ImageNodePtr> inputs);

    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override;

private:
    Rect extent_;
    SpanKernel kernel_;
    std::vector<ImageNodePtr> inputs_;
};

} // namespace oxel
