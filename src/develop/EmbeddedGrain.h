#pragma once

#include "platform/EmbeddedFile.h"

#include <span>

namespace oxel {

// The nine film grain textures the build makes (tools/graingen), built into the program as
// "grain/grain_1a.png" ... "grain/grain_3c.png".
std::span<const EmbeddedFile> embeddedGrainTextures();

} // namespace oxel
