#pragma once

#include "imaging/Image.h"

namespace oxel {

// The picture scaled on each axis so that its extent covers `extent` exactly, cropped to it. Edge
// pixels are repeated before scaling, so a mask made at a small size keeps its values right up to
// the borders of the full-size picture it is laid over.
Image stretchedTo(const Image& image, const Rect& extent);

} // namespace oxel
