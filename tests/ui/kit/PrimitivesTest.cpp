#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/DrawnCrosshair.h"
#include "ui/kit/InkBox.h"
#include "ui/kit/InkFrame.h"
#include "ui/kit/PencilRule.h"
#include "ui/kit/PictureCorners.h"
#include "ui/kit/ProgressDots.h"
#include "ui/kit/WorkingSheetCentreLine.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace oxel {
namespace {

using pixels::ink;
using pixels::onPaper;
using pixels::over;
using pixels::paper;
using pixels::pencil;
using pixels::pixelIs;

struct InkBoxRow {
    double contentAlpha;
    bool quiet, enabled;
    double border, corners;
};

TEST(InkBox, OpacityTableRowsDrawTheirBorderAndCorners)
{
    const InkBoxRow rows[] = {{0.9, false, true, 0.405, 0.9},
                              {0.9, true, true, 0.198, 0.45},
                              {0.9, true, false, 0.0792, 0.18},
                              {0.6, false, true, 0.27, 0.6},
                              {1, false, false, 0.18, 0.4}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.contentAlpha << " quiet " << row.quiet << " enabled " << row.enabled);
        const InkBox box{false, row.enabled, row.contentAlpha, row.quiet};
        EXPECT_NEAR(box.borderOpacity(), row.border, 1e-9);
        EXPECT_NEAR(box.cornerOpacity(), row.corners, 1e-9);
        const QImage image = onPaper({60, 40}, Appearance::light, [&](QPainter& painter) {
            box.paintBehind(painter, QRectF(0, 0, 60, 40), Appearance::light);
            box.paintInFront(painter, QRectF(0, 0, 60, 40), Appearance::light);
        });
        // The 0.75 border covers three quarters of the outermost pixels; the 2-wide corner marks,
        // centred on the edge, cover them wholly on top of it.
        const QColor border = over(paper(), ink(), 0.75 * row.border);
        EXPECT_TRUE(pixelIs(image, 30, 0, border));
        EXPECT_TRUE(pixelIs(image, 0, 20, border));
        EXPECT_TRUE(pixelIs(image, 59, 20, border));
        EXPECT_TRUE(pixelIs(image, 5, 0, over(border, ink(), row.corners)));
        EXPECT_TRUE(pixelIs(image, 59, 35, over(border, ink(), row.corners)));
        EXPECT_TRUE(pixelIs(image, 10, 39, over(border, ink(), row.corners)));
        EXPECT_TRUE(pixelIs(image, 11, 0, border)); // the arm ends at 11
        EXPECT_TRUE(pixelIs(image, 30, 20, paper()));
    }
}

TEST(InkBox, FilledBoxIsSolidInkWhetherEnabledOrNot)
{
    const auto draw = [](bool enabled) {
        return onPaper({40, 20}, Appearance::dark, [&](QPainter& painter) {
            const InkBox box{true, enabled, 0.3, true};
            box.paintBehind(painter, QRectF(0, 0, 40, 20), Appearance::dark);
            box.paintInFront(painter, QRectF(0, 0, 40, 20), Appearance::dark);
        });
    };
    const QImage enabled = draw(true);
    EXPECT_EQ(enabled, draw(false));
    EXPECT_TRUE(pixelIs(enabled, 0, 0, ink(Appearance::dark), 0));
    EXPECT_TRUE(pixelIs(enabled, 20, 10, ink(Appearance::dark), 0));
}

TEST(InkBox, NarrowBoxLetsItsCornerArmsCross)
{
    const InkBox box{false, true, 0.6, false};
    const QImage image = onPaper({16, 16}, Appearance::light, [&](QPainter& painter) {
        box.paintBehind(painter, QRectF(0, 0, 16, 16), Appearance::light);
        box.paintInFront(painter, QRectF(0, 0, 16, 16), Appearance::light);
    });
    const QColor border = over(paper(), ink(), 0.75 * 0.27);
    const QColor once = over(border, ink(), 0.6);
    EXPECT_TRUE(pixelIs(image, 2, 0, once));
    EXPECT_TRUE(pixelIs(image, 8, 0, over(once, ink(), 0.6))); // under both top arms
    EXPECT_TRUE(pixelIs(image, 0, 8, over(once, ink(), 0.6)));
}

TEST(PictureCorners, TileMarksSitOneOrEightFromTheEdges)
{
    const auto draw = [](bool tight) {
        return onPaper({100, 80}, Appearance::light, [&](QPainter& painter) {
            drawTileCorners(painter, QSizeF(100, 80), 1, tight, Appearance::light);
        });
    };
    const QImage tight = draw(true);
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {18, 0}, {0, 18}, {99, 0}, {81, 79}, {99, 61}})
        EXPECT_TRUE(pixelIs(tight, x, y, ink(), 1)) << x << "," << y;
    for (const auto& [x, y] : {std::pair{2, 2}, {19, 0}, {0, 19}, {50, 0}, {97, 77}})
        EXPECT_TRUE(pixelIs(tight, x, y, paper(), 1)) << x << "," << y;

    const QImage loose = draw(false);
    for (const auto& [x, y] : {std::pair{7, 7}, {8, 8}, {25, 7}, {7, 25}, {92, 72}, {74, 72}, {91, 55}})
        EXPECT_TRUE(pixelIs(loose, x, y, ink(), 1)) << x << "," << y;
    for (const auto& [x, y] : {std::pair{6, 6}, {9, 9}, {26, 7}, {7, 26}, {93, 73}, {1, 1}})
        EXPECT_TRUE(pixelIs(loose, x, y, paper(), 1)) << x << "," << y;
}

TEST(PictureCorners, LightboxMarksAreInkAtEightyFivePercent)
{
    const QImage image = onPaper({120, 90}, Appearance::dark, [](QPainter& painter) {
        drawLightboxCorners(painter, QSizeF(120, 90), Appearance::dark);
    });
    EXPECT_TRUE(pixelIs(image, 8, 8, over(paper(Appearance::dark), ink(Appearance::dark), 0.85)));
    EXPECT_TRUE(pixelIs(image, 111, 81, over(paper(Appearance::dark), ink(Appearance::dark), 0.85)));
    EXPECT_TRUE(pixelIs(image, 60, 45, paper(Appearance::dark), 0));
}

TEST(WorkingSheetCentreLine, DrawsTheLineAndThreeTicks)
{
    const QImage image = onPaper({101, 200}, Appearance::light, [](QPainter& painter) {
        WorkingSheetCentreLine::draw(painter, QSizeF(101, 200), Appearance::light);
    });
    // The line runs down x = 50.5, three quarters of pixel column 50.
    EXPECT_TRUE(pixelIs(image, 50, 60, over(paper(), pencil(), 0.75)));
    EXPECT_TRUE(pixelIs(image, 49, 60, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 51, 60, paper(), 0));
    // Ticks from x 46.5 to 54.5 at y 24, 100 and 176 cover 0.375 of the rows on either side.
    for (const int y : {24, 100, 176}) {
        EXPECT_TRUE(pixelIs(image, 47, y - 1, over(paper(), pencil(), 0.375))) << y;
        EXPECT_TRUE(pixelIs(image, 53, y, over(paper(), pencil(), 0.375))) << y;
        EXPECT_TRUE(pixelIs(image, 46, y, over(paper(), pencil(), 0.375 * 0.5))) << y;
        EXPECT_TRUE(pixelIs(image, 45, y, paper(), 0)) << y;
        EXPECT_TRUE(pixelIs(image, 47, y + 1, paper(), 0)) << y;
    }
}

TEST(WorkingSheetCentreLine, DegenerateSizesDrawWithoutFailing)
{
    const QImage flat = onPaper({40, 10}, Appearance::light, [](QPainter& painter) {
        WorkingSheetCentreLine::draw(painter, QSizeF(40, 0), Appearance::light);
    });
    EXPECT_TRUE(pixelIs(flat, 20, 5, paper(), 0));
    // At zero width the line lies on x = 0 and the ticks reach from -4 to 4.
    const QImage narrow = onPaper({10, 100}, Appearance::light, [](QPainter& painter) {
        WorkingSheetCentreLine::draw(painter, QSizeF(0, 100), Appearance::light);
    });
    EXPECT_TRUE(pixelIs(narrow, 2, 12, over(paper(), pencil(), 0.375)));
    EXPECT_TRUE(pixelIs(narrow, 5, 12, paper(), 0));
}

TEST(DrawnCrosshair, CrossesAtTheMiddleAndLetsClicksThrough)
{
    DrawnCrosshair crosshair(40, Palette::ink(0.5));
    EXPECT_EQ(crosshair.size(), QSize(40, 40));
    EXPECT_TRUE(crosshair.testAttribute(Qt::WA_TransparentForMouseEvents));
    const QImage image = pixels::grabbed(crosshair);
    // 1.5 wide around x = 20: pixels 19 and 20 are three quarters covered.
    EXPECT_TRUE(pixelIs(image, 19, 5, over(paper(), ink(), 0.5 * 0.75)));
    EXPECT_TRUE(pixelIs(image, 5, 20, over(paper(), ink(), 0.5 * 0.75)));
    EXPECT_TRUE(pixelIs(image, 5, 5, paper(), 0));
}

TEST(PencilRule, IsAThreeQuarterPixelPencilLine)
{
    PencilRule rule;
    rule.resize(50, rule.height());
    EXPECT_EQ(rule.height(), 1);
    EXPECT_TRUE(pixelIs(pixels::grabbed(rule), 25, 0, over(paper(), pencil(), 0.75)));
}

TEST(BoxSwitch, OnDrawsInkWithAnOnInkTick)
{
    BoxSwitch toggle(50);
    EXPECT_EQ(toggle.size(), QSize(50, 50));
    const QImage off = pixels::grabbed(toggle);
    EXPECT_TRUE(pixelIs(off, 0, 25, over(paper(), ink(), 0.45)));
    EXPECT_TRUE(pixelIs(off, 21, 35, paper(), 0));
    toggle.setOn(true);
    const QImage on = pixels::grabbed(toggle);
    // The tick's middle corner (0.43 s, 0.71 s) is the centre of pixel (21, 35).
    EXPECT_TRUE(pixelIs(on, 21, 35, Palette::onInk().resolve(Appearance::light)));
    EXPECT_TRUE(pixelIs(on, 0, 25, ink()));
    EXPECT_TRUE(pixelIs(on, 25, 10, ink(), 0));
}

TEST(ProgressDots, BoxesFillFromTheLeft)
{
    EXPECT_TRUE(ProgressDots::isFilled(0, 4, 1.0 / 3));
    EXPECT_TRUE(ProgressDots::isFilled(1, 4, 1.0 / 3));
    EXPECT_FALSE(ProgressDots::isFilled(2, 4, 1.0 / 3));
    EXPECT_TRUE(ProgressDots::isFilled(0, 4, 0));
    EXPECT_FALSE(ProgressDots::isFilled(1, 4, 0));
    EXPECT_FALSE(ProgressDots::isFilled(0, 4, -0.0002));
    EXPECT_TRUE(ProgressDots::isFilled(0, 1, 0));
    EXPECT_TRUE(ProgressDots::isFilled(3, 4, 1));

    ProgressDots dots(4, 1.0 / 3);
    EXPECT_EQ(dots.size(), QSize(7 * 4 + 14 * 3, 7));
    const QImage image = pixels::grabbed(dots);
    const QColor filled = over(paper(), ink(), 0.9);
    EXPECT_TRUE(pixelIs(image, 3, 3, filled));
    EXPECT_TRUE(pixelIs(image, 21 + 3, 3, filled));
    EXPECT_TRUE(pixelIs(image, 42 + 3, 3, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 63 + 3, 3, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 42, 3, filled)); // the border of a clear box
    EXPECT_TRUE(pixelIs(image, 10, 3, filled)); // a connector
    EXPECT_TRUE(pixelIs(image, 10, 1, paper(), 0));
}

TEST(ProgressDots, CountsZeroAndOneAndProgressBelowZero)
{
    ProgressDots none(0, 1);
    EXPECT_EQ(none.width(), 0);
    ProgressDots one(1, 0);
    EXPECT_EQ(one.size(), QSize(7, 7));
    EXPECT_TRUE(pixelIs(pixels::grabbed(one), 3, 3, over(paper(), ink(), 0.9)));
    ProgressDots before(4, -0.001);
    EXPECT_TRUE(pixelIs(pixels::grabbed(before), 3, 3, paper(), 0));
}

TEST(InkFrame, CornerMarksLieOverTheContentAndLetClicksThrough)
{
    InkFrame frame(InkBox{false, true, 1, false});
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    QPalette red;
    red.setColor(QPalette::Window, QColor(200, 0, 0));
    content->setPalette(red);
    frame.setContent(content, QMargins(0, 0, 0, 0));
    frame.resize(60, 40);
    frame.show();
    QApplication::processEvents();
    const QImage image = pixels::grabbed(frame);
    EXPECT_TRUE(pixelIs(image, 5, 0, ink())); // a corner over the red content
    EXPECT_TRUE(pixelIs(image, 30, 20, QColor(200, 0, 0), 0));
    EXPECT_EQ(frame.childAt(5, 0), content);
}

} // namespace
} // namespace oxel
