#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oxel {

// The colour tag of a bitmap or a file: a name (empty when the space is only known by its
// profile) and the ICC profile bytes. Tagging never changes pixels.
struct ColourSpace {
    std::string name;
    std::vector<uint8_t> icc;

    static constexpr const char* sRGBName = "sRGB";
    static constexpr const char* displayP3Name = "Display P3";
    static constexpr const char* adobeRGBName = "Adobe RGB (1998)";
    static constexpr const char* proPhotoRGBName = "ProPhoto RGB";

    // The well-known spaces, carrying the canonical profile bytes built into the program.
    static const ColourSpace& sRGB();
    static const ColourSpace& displayP3();
    static const ColourSpace& adobeRGB();
    static const ColourSpace& proPhotoRGB();

    bool isNull() const { return name.empty() && icc.empty(); }
    bool operator==(const ColourSpace&) const = default;
};

} // namespace oxel
