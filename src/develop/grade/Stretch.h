#pragma once

#include "imaging/Image.h"

#include <optional>

namespace oxel {

// The picture scaled on each axis so that its extent covers `extent` exactly, cropped to it. Edge
// pixels are repeated before scaling, so a mask made at a small size keeps its values right up to
// the borders of the full-size picture it is laid over.
Image stretchedTo(const Image& image, const Rect& extent);

// Whether a mask can be laid over a picture: present, of finite extent and wider than 0.
bool isStretchable(const std::optional<Image>& mask);

} // namespace oxel
