#pragma once

#include "imaging/ImageNode.h"

namespace oxel {

// Nodes that move, cut or repeat samples without filtering them.

class ConstantNode final : public ImageNode {
public:
    explicit ConstantNode(RGB colour) : colour_(colour) {}
    Rect extent() const override { return Rect::infinite(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;

private:
    RGB colour_;
};

// A move by whole pixels.
class OffsetNode final : public ImageNode {
public:
    OffsetNode(ImageNodePtr input, int64_t dx, int64_t dy) : input_(std::move(input)), dx_(dx), dy_(dy) {}
    Rect extent() const override { return input_->extent().offsetBy(double(dx_), double(dy_)); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

private:
    ImageNodePtr input_;
    int64_t dx_, dy_;
};

class CropNode final : public ImageNode {
public:
    CropNode(ImageNodePtr input, Rect rect) : input_(std::move(input)), extent_(input_->extent().intersection(rect)) {}
    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

private:
    ImageNodePtr input_;
    Rect extent_;
};

// Repeats the input's edge pixels outwards; the extent is infinite.
class ClampNode final : public ImageNode {
public:
    ClampNode(ImageNodePtr input, PixelRect source) : input_(std::move(input)), source_(source) {}
    Rect extent() const override { return Rect::infinite(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

    const PixelRect& source() const { return source_; }

private:
    ImageNodePtr input_;
    PixelRect source_;
};

// An EXIF orientation: output pixel (x, y) reads input pixel map(x, y).
class OrientNode final : public ImageNode {
public:
    OrientNode(ImageNodePtr input, PixelRect source, int orientation);
    Rect extent() const override { return extent_; }
    void render(const PixelRect& region, RGB* out, size_t stride) const override;
    void prepare() const override { input_->prepare(); }

private:
    ImageNodePtr input_;
    PixelRect source_;
    int orientation_;
    Rect extent_;
};

} // namespace oxel
