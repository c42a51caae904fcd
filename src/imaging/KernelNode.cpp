#include "imaging/KernelNode.h"

#include <algorithm>
#include <memory>

namespace oxel {

KernelNode::KernelNode(Rect extent, SpanKernel kernel, std::vector<ImageNodePtr> inputs)
    : extent_(extent), kernel_(std::move(kernel)), inputs_(std::move(inputs))
{}

void KernelNode::prepare() const
{
    for (const auto& input : inputs_) input->prepare();
}

void KernelNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    const size_t width = size_t(inside.width);
    const size_t samples = width * size_t(inside.height);

    // Inputs are rendered over the inside rectangle, each into its own scratch buffer.
    std::vector<std::unique_ptr<ScratchBuffer>> buffers;
    buffers.reserve(inputs_.size());
    std::vector<const RGB*> rows(inputs_.size());
    for (const auto& input : inputs_) {
        buffers.push_back(std::make_unique<ScratchBuffer>(samples));
        input->render(inside, buffers.back()->data(), width);
    }
    for (int64_t y = 0; y < inside.height; ++y) {
        for (size_t k = 0; k < inputs_.size(); ++k) rows[k] = buffers[k]->data() + size_t(y) * width;
        RGB* target = out + size_t(inside.y - region.y + y) * stride + size_t(inside.x - region.x);
        kernel_(rows.data(), target, width);
    }
}

Image applySpanKernel(const Rect& extent, SpanKernel kernel, std::vector<Image> inputs)
{
    std::vector<ImageNodePtr> nodes;
    nodes.reserve(inputs.size());
    for (const Image& input : inputs) {
        // A missing input reads as zero everywhere.
        nodes.push_back(input.isNull() ? std::make_shared<KernelNode>(Rect{}, SpanKernel{}, std::vector<ImageNodePtr>{})
                                       : input.node());
    }
    return Image(std::make_shared<KernelNode>(extent, std::move(kernel), std::move(nodes)));
}

} // namespace oxel
