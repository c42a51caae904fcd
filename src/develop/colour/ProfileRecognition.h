#pragma once

#include "imaging/ColourSpace.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace oxel {

// Whether an embedded profile describes an RGB space the program can model (matrix and curves),
// as `RGBSpace` reads it.
bool isUsableRGBProfile(std::span<const uint8_t> icc);

// The platform name of a profile that matches sRGB, Display P3, Adobe RGB (1998) or ProPhoto RGB
// in colorants, white and tone curves; nothing for any other profile.
std::optional<std::string> recognisedSpaceName(std::span<const uint8_t> icc);

// The colour space of a file's profile: named when recognised, anonymous otherwise.
ColourSpace colourSpaceOfProfile(std::span<const uint8_t> icc);

} // namespace oxel
