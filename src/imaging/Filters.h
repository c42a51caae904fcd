#pragma once

#include "imaging/Image.h"

namespace oxel {

class RenderContext;

// Lanczos-3 resampling, separable, anti-aliased when shrinking (the support widens by 1 / scale).
// Vertical scale `scale`, horizontal scale `scale * aspectRatio`, about the origin. Samples outside
// the input's extent are zero, so clamp the input first for clean edges.
Image lanczosScaleTransform(const Image& image, double scale, double aspectRatio);

// Gaussian blur with standard deviation `sigma`. The extent grows by 3 sigma on each side (an
// infinite extent stays infinite); samples outside the input are zero, so the usual pattern is
// clamp, blur, crop.
Image gaussianBlur(const Image& image, double sigma);

// The overlay blend of `top` over `background`, per channel: 2ab below a background of 0.5,
// else 1 - 2(1 - a)(1 - b). Where only one of them has pixels, that one shows.
Image overlayBlend(const Image& top, const Image& background);

// Multiply compositing of `top` over `background`. Where only one of them has pixels, that one shows.
Image multiplyCompositing(const Image& top, const Image& background);

// The mean sample over `rect` (whole pixels whose centres lie inside), computed in double.
RGB areaAverage(const Image& image, const Rect& rect, const RenderContext& context);

} // namespace oxel
