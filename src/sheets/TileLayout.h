#pragma once

namespace oxel {

// How the grid lays its tiles: as many columns as tiles of the smallest width fit with their
// gaps, and the width that shares the space among them, capped at the largest width.
struct TileLayout {
    int columns = 1;
    int width = 1;
    bool operator==(const TileLayout&) const = default;

    static constexpr int gap = 22;
    static constexpr int sideMargin = 20;
    static constexpr int topMargin = 10;
    static constexpr int bottomMargin = 12;

    struct Bounds {
        int minimum;
        int maximum;
    };
    static constexpr Bounds landscape{300, 480};
    static constexpr Bounds portrait{220, 330};
};

// `width` is what is left of the grid's width after both side margins. Never fewer than one
// column, never narrower than one point.
TileLayout tileLayout(double width, int minimum, int maximum);

// The layout of a grid `gridWidth` wide, with the bounds of a mostly portrait or landscape batch.
TileLayout tileLayoutForGrid(double gridWidth, bool mostlyPortrait);

} // namespace oxel
