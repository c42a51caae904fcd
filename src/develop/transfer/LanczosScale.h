#pragma once

#include "imaging/Image.h"

namespace oxel {

// The picture scaled to fill `target` (Lanczos, edges clamped), cropped to it. The picture is
// expected at the origin, as are the targets of the detail transfer and the export.
Image lanczosScale(const Image& image, const Rect& target);

} // namespace oxel
