#pragma once

#include "ui/kit/Appearance.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace oxel {

// Where the desktop's preferred colour scheme is read: the portal's
// `org.freedesktop.appearance color-scheme`, 0 for no preference, 1 dark, 2 light.
class ColourSchemeSource {
public:
    virtual ~ColourSchemeSource() = default;
    // The current value, or nothing when nobody answered.
    virtual std::optional<std::uint32_t> colourScheme() = 0;
    // Calls `changed` on the main thread with every value the desktop announces from now on.
    virtual void watch(std::function<void(std::uint32_t)> changed) = 0;
};

// The appearance "system" stands for: the portal's dark or light; without a preference from it,
// the lightness of the platform's own palette; without that, light.
Appearance systemAppearance(std::optional<std::uint32_t> portalScheme, std::optional<Appearance> platformPalette);

} // namespace oxel
