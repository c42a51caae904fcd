// The grid's columns and tile width for the window widths the layout was worked out for, and at
// its edges.
#include "sheets/TileLayout.h"

#include <gtest/gtest.h>

using namespace oxel;

TEST(TileLayoutTest, WorkedWidthsForLandscapeAndPortraitBatches)
{
    struct Case {
        double window;
        TileLayout landscape;
        TileLayout portrait;
    };
    const Case cases[] = {
        {900, {2, 419}, {3, 272}}, {1200, {3, 372}, {4, 273}}, {1600, {4, 373}, {6, 241}},
        {600, {1, 480}, {2, 269}}, {300, {1, 260}, {1, 260}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tileLayoutForGrid(c.window, false), c.landscape) << c.window;
        EXPECT_EQ(tileLayoutForGrid(c.window, true), c.portrait) << c.window;
    }
}

TEST(TileLayoutTest, EdgesKeepOneColumnAtLeastOnePointWide)
{
    // Exactly three smallest tiles with their gaps: three columns of the smallest width.
    EXPECT_EQ(tileLayout(3 * 300 + 2 * 22, 300, 480), (TileLayout{3, 300}));
    // One point short of that: two columns.
    EXPECT_EQ(tileLayout(3 * 300 + 2 * 22 - 1, 300, 480).columns, 2);
    // Narrower than the margins and the smallest tile: one column as wide as the space.
    EXPECT_EQ(tileLayoutForGrid(100, false), (TileLayout{1, 60}));
    EXPECT_EQ(tileLayoutForGrid(40, false), (TileLayout{1, 1}));
    EXPECT_EQ(tileLayoutForGrid(0, true), (TileLayout{1, 1}));
    EXPECT_EQ(tileLayoutForGrid(-500, true), (TileLayout{1, 1}));
    // A very wide window gets more columns, never wider tiles than the largest.
    const TileLayout wide = tileLayoutForGrid(10000, false);
    EXPECT_EQ(wide.columns, 31);
    EXPECT_LE(wide.width, 480);
    EXPECT_GE(wide.width, 300);
}
