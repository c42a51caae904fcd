#pragma once

#include "imaging/Image.h"

namespace oxel {

// The picture scaled on each axis so that its extent covers `extent` exactly. Masks made at a
// small size are laid over full-size pictures this way.
Image stretchedTo(const Image& image, const Rect& extent);

} // namespace oxel
