#pragma once

#include "imaging/Pixel.h"
#include "imaging/Rect.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace oxel {

class Image;

// One step of a recipe. Nodes are immutable once made and may be rendered from several threads
// at once. A node renders any rectangle of whole pixels on request, pulling from its inputs only
// what that rectangle needs; pixels outside its extent are zero.
class ImageNode {
public:
    virtual ~ImageNode() = default;

    virtual Rect extent() const = 0;

    // Writes region.width x region.height samples into `out`, `stride` samples a row.
    virtual void render(const PixelRect& region, RGB* out, size_t stride) const = 0;

    // Called once before a render splits into tiles: nodes that compute their whole output at once
    // (large blurs) do it here, on all cores; nodes with inputs pass the call on.
    virtual void prepare() const {}
};

using ImageNodePtr = std::shared_ptr<const ImageNode>;

// Scratch rows for nodes: a per-thread stack of buffers reused between tiles, so that rendering a
// tile allocates nothing once the thread has warmed up. Scoped: the buffer returns when it goes.
// Every buffer holds one sample more than asked for, which vector loads may read past the end.
class ScratchBuffer {
public:
    explicit ScratchBuffer(size_t samples);
    ~ScratchBuffer();
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    RGB* data() const { return data_; }

private:
    std::vector<RGB>* buffer_;
    RGB* data_;
};

// Fills the part of `region` outside `extent` with zeros and returns the part inside.
PixelRect clearOutside(const Rect& extent, const PixelRect& region, RGB* out, size_t stride);

} // namespace oxel
