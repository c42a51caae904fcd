// The keyboard's focus mark on the painted controls: shown when Tab brings the focus, never after
// a click, drawn outside the control in ink, in both appearances.
#include "ui/kit/FocusMark.h"
#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/BoxOption.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/SheetButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace oxel {
namespace {

using pixels::over;
using pixels::paper;

// A row of the controls that take Tab, in a window of its own, shown and active.
class FocusMarkTest : public ::testing::Test {
protected:
    FocusMarkTest()
    {
        auto* row = new QHBoxLayout(&window);
        row->setContentsMargins(16, 16, 16, 16);
        row->setSpacing(14);
        auto* done = new SheetButton(QStringLiteral("done"), true);
        auto* cancel = new SheetButton(QStringLiteral("cancel"), false);
        auto* on = new BoxSwitch(18);
        on->setOn(true);
        auto* chosen = new BoxOption(QStringLiteral("psd"));
        chosen->setSelected(true);
        // Made in the order Tab takes.
        controls = {
            done, cancel, on, chosen, new BoxOption(QStringLiteral("tiff")), new LinkButton(QStringLiteral("reset"))};
        for (PaintedButton* control : controls) row->addWidget(control, 0, Qt::AlignVCenter);
        // As a sheet does: the window holds the focus, so Tab reaches the first control.
        window.setFocus();
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void press(Qt::Key key)
    {
        QTest::keyClick(window.windowHandle(), key);
        QApplication::processEvents();
    }

    std::vector<PaintedButton*> marked() const
    {
        std::vector<PaintedButton*> shown;
        for (PaintedButton* control : controls)
            if (control->showsFocusMark()) shown.push_back(control);
        return shown;
    }

    QWidget window;
    std::vector<PaintedButton*> controls;
};

TEST_F(FocusMarkTest, TabAndBacktabMarkTheControlTheyReach)
{
    EXPECT_TRUE(marked().empty());
    const QStringList names{"filled-button", "outlined-button", "switch", "chosen-option", "option", "link"};
    for (size_t index = 0; index < controls.size(); ++index) {
        press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), controls[index]);
        EXPECT_EQ(marked(), std::vector{controls[index]});
        const auto shots = screenshots::capture(window, "focus-mark-" + names[int(index)]);
        // The top left corner mark lies `gap` outside the control, in ink, on paper.
        const QPoint corner = controls[index]->geometry().topLeft() - QPoint(FocusMark::gap + 1, FocusMark::gap + 1);
        for (auto [image, appearance] : {std::pair{shots.light, Appearance::light}, {shots.dark, Appearance::dark}}) {
            const QColor ink = over(paper(appearance), Palette::ink().resolve(appearance), 0.9);
            EXPECT_TRUE(pixels::pixelIs(image, corner.x(), corner.y(), ink, 8)) << index;
            EXPECT_TRUE(pixels::pixelIs(image, corner.x() + 3, corner.y(), ink, 8)) << index;
            EXPECT_TRUE(pixels::pixelIs(image, corner.x() + 12, corner.y(), paper(appearance), 8))
                << "the arm is short: " << index;
        }
    }
    press(Qt::Key_Backtab);
    EXPECT_EQ(marked(), std::vector{controls[controls.size() - 2]});
}

TEST_F(FocusMarkTest, AClickNeverLeavesAMark)
{
    QTest::mouseClick(controls[1], Qt::LeftButton);
    QTest::mouseClick(controls[2], Qt::LeftButton);
    EXPECT_TRUE(marked().empty());

    press(Qt::Key_Tab);
    ASSERT_EQ(marked(), std::vector{controls[0]});
    QTest::mouseClick(controls[0], Qt::LeftButton);
    EXPECT_TRUE(marked().empty()) << "pointing at the focused control puts the keyboard's mark away";
    press(Qt::Key_Tab);
    EXPECT_EQ(marked(), std::vector{controls[1]});
}

TEST_F(FocusMarkTest, TheMarkGoesWithTheWindowsActivationAndComesBack)
{
    press(Qt::Key_Tab);
    ASSERT_EQ(marked(), std::vector{controls[0]});
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    EXPECT_TRUE(marked().empty());
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();
    EXPECT_EQ(marked(), std::vector{controls[0]});
}

} // namespace
} // namespace oxel
