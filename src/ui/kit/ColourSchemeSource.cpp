#include "ui/kit/ColourSchemeSource.h"

namespace oxel {

Appearance systemAppearance(std::optional<std::uint32_t> portalScheme, std::optional<Appearance> platformPalette)
{
    if (portalScheme == 1u) return Appearance::dark;
    if (portalScheme == 2u) return Appearance::light;
    return platformPalette.value_or(Appearance::light);
}

} // namespace oxel
