#pragma once

#include "imaging/Image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The blend modes a layered file carries; the key is what the layer record stores.
enum class PSDBlend { normal, linearLight, overlay };

std::string_view blendKey(PSDBlend blend);
// The blend whose key is exactly `key`; nothing for any other text.
std::optional<PSDBlend> blendFromKey(std::string_view key);

// One layer of a layered file. Pictures are canvas-sized with their origin at the canvas origin;
// the mask's red component becomes the layer mask.
struct PSDLayer {
    std::string name;
    PSDBlend blend = PSDBlend::normal;
    double opacity = 1.0;
    bool visible = true;
    Image image;
    std::optional<Image> mask;
    uint8_t maskDefault = 255;
};

} // namespace oxel
