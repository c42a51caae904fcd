#pragma once

#include "platform/EmbeddedFile.h"

#include <span>

namespace oxel {

// The canonical ICC profiles of the well-known colour spaces (resources/icc/), built into the
// program as "icc/sRGB.icc" and the like.
std::span<const EmbeddedFile> embeddedColourProfiles();

} // namespace oxel
