#include "sheets/TileLayout.h"

#include <algorithm>
#include <cmath>

namespace oxel {

TileLayout tileLayout(double width, int minimum, int maximum)
{
    constexpr double gap = TileLayout::gap;
    const double fitting = std::floor((width + gap) / (minimum + gap));
    const int columns = std::max(1, static_cast<int>(std::clamp(fitting, 1.0, 1e6)));
    const double shared = std::floor((width - (columns - 1) * gap) / columns);
    const int tileWidth = static_cast<int>(std::clamp(shared, 1.0, static_cast<double>(maximum)));
    return {columns, tileWidth};
}

TileLayout tileLayoutForGrid(double gridWidth, bool mostlyPortrait)
{
    const TileLayout::Bounds bounds = mostlyPortrait ? TileLayout::portrait : TileLayout::landscape;
    return tileLayout(gridWidth - 2 * TileLayout::sideMargin, bounds.minimum, bounds.maximum);
}

} // namespace oxel
