#include "support/ui/PixelChecks.h"
#include "ui/kit/ApplicationPalette.h"
#include "ui/kit/ApplicationStyle.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/BoxMultiChoice.h"
#include "ui/kit/BoxOption.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/Motion.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/CompareHint.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

using pixels::ink;
using pixels::over;
using pixels::paper;
using pixels::pencil;
using pixels::pixelIs;

// Pointer events straight to the track, as the window would deliver them during a drag (a drag
// keeps reaching the widget it started on, also beyond its edges).
void send(QWidget& widget, QEvent::Type type, double x, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF local(x, 11);
    QMouseEvent event(type, local, widget.mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void click(QWidget& widget, double x)
{
    send(widget, QEvent::MouseButtonPress, x);
    send(widget, QEvent::MouseButtonRelease, x, Qt::NoButton);
}

void doubleClick(QWidget& widget, double x)
{
    click(widget, x);
    send(widget, QEvent::MouseButtonDblClick, x);
    send(widget, QEvent::MouseButtonRelease, x, Qt::NoButton);
}

class StrengthTrackTest : public ::testing::Test {
protected:
    StrengthTrackTest()
    {
        track_.resize(202, StrengthTrack::trackHeight);
        QObject::connect(&track_, &StrengthTrack::committed, [this] { commits_.push_back(track_.value()); });
    }

    StrengthTrack track_;
    std::vector<double> commits_;
};

TEST_F(StrengthTrackTest, TickAndThumbSitWhereTheirFractionsMap)
{
    EXPECT_DOUBLE_EQ(StrengthTrack::positionOf(0.5, 202), 101);
    EXPECT_DOUBLE_EQ(StrengthTrack::positionOf(0.25, 202), 51);
    track_.setTicks({0.5});
    track_.setValue(0.25);
    const QImage image = pixels::grabbed(track_);
    const QColor thumb = over(paper(), ink(), 0.9);
    EXPECT_TRUE(pixelIs(image, 50, 5, thumb));
    EXPECT_TRUE(pixelIs(image, 51, 17, thumb));
    EXPECT_TRUE(pixelIs(image, 49, 5, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 52, 5, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 50, 3, paper(), 0));
    // The tick is 0.75 wide around x = 101 and 9 high around the middle.
    EXPECT_TRUE(pixelIs(image, 100, 7, over(paper(), pencil(), 0.375)));
    EXPECT_TRUE(pixelIs(image, 101, 14, over(paper(), pencil(), 0.375)));
    EXPECT_TRUE(pixelIs(image, 99, 7, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 100, 5, paper(), 0));
    // The line runs the whole width, 0.75 around y = 11.
    EXPECT_TRUE(pixelIs(image, 150, 10, over(paper(), pencil(), 0.375)));
    EXPECT_TRUE(pixelIs(image, 0, 11, over(paper(), pencil(), 0.375)));
}

TEST_F(StrengthTrackTest, DragFollowsThePointerAndCommitsOnceAtTheEnd)
{
    std::vector<double> values;
    QObject::connect(&track_, &StrengthTrack::valueChanged, [&](double value) { values.push_back(value); });
    send(track_, QEvent::MouseButtonPress, 51);
    send(track_, QEvent::MouseMove, 101);
    send(track_, QEvent::MouseMove, 151);
    EXPECT_TRUE(commits_.empty());
    send(track_, QEvent::MouseButtonRelease, 151, Qt::NoButton);
    EXPECT_EQ(values, (std::vector<double>{0.25, 0.5, 0.75}));
    EXPECT_EQ(commits_, std::vector<double>{0.75});
}

TEST_F(StrengthTrackTest, DraggingPastEitherEndHoldsTheValueThere)
{
    send(track_, QEvent::MouseButtonPress, 100);
    send(track_, QEvent::MouseMove, -40);
    EXPECT_EQ(track_.value(), 0);
    send(track_, QEvent::MouseMove, 400);
    EXPECT_EQ(track_.value(), 1);
    send(track_, QEvent::MouseButtonRelease, 400, Qt::NoButton);
    EXPECT_EQ(commits_, std::vector<double>{1});
}

TEST_F(StrengthTrackTest, ValueOutsideTheRangeIsDrawnAtTheEndAndKept)
{
    track_.setValue(1.4);
    const QImage image = pixels::grabbed(track_);
    EXPECT_TRUE(pixelIs(image, 200, 5, over(paper(), ink(), 0.9)));
    EXPECT_TRUE(pixelIs(image, 201, 5, over(paper(), ink(), 0.9)));
    EXPECT_EQ(track_.value(), 1.4);
    track_.setValue(-3);
    EXPECT_TRUE(pixelIs(pixels::grabbed(track_), 0, 5, over(paper(), ink(), 0.9)));
    EXPECT_EQ(track_.value(), -3);
}

TEST_F(StrengthTrackTest, DisabledTrackKeepsItsValueAndStillCommits)
{
    track_.setValue(0.3);
    track_.setTrackEnabled(false);
    track_.setResetValue(0.8);
    send(track_, QEvent::MouseButtonPress, 150);
    send(track_, QEvent::MouseMove, 20);
    send(track_, QEvent::MouseButtonRelease, 20, Qt::NoButton);
    EXPECT_EQ(commits_, std::vector<double>{0.3});
    commits_.clear();
    doubleClick(track_, 180);
    EXPECT_EQ(track_.value(), 0.3);
    EXPECT_EQ(commits_, (std::vector<double>{0.3, 0.3}));
    // No thumb, and the line at 0.35 opacity.
    const QImage image = pixels::grabbed(track_);
    EXPECT_TRUE(pixelIs(image, StrengthTrack::positionOf(0.3, 202), 5, paper(), 0));
    EXPECT_TRUE(pixelIs(image, 150, 10, over(paper(), pencil(), 0.375 * 0.35)));
}

TEST_F(StrengthTrackTest, DoubleClickResetsThenCommitsOnceAndIgnoresMovesUntilRelease)
{
    track_.setResetValue(0.6);
    std::vector<double> values;
    QObject::connect(&track_, &StrengthTrack::valueChanged, [&](double value) { values.push_back(value); });
    click(track_, 51);
    send(track_, QEvent::MouseButtonDblClick, 51);
    EXPECT_EQ(track_.value(), 0.6);
    EXPECT_EQ(commits_, (std::vector<double>{0.25, 0.6}));
    send(track_, QEvent::MouseMove, 180);
    send(track_, QEvent::MouseButtonRelease, 180, Qt::NoButton);
    EXPECT_EQ(track_.value(), 0.6);
    EXPECT_EQ(commits_, (std::vector<double>{0.25, 0.6}));
    EXPECT_EQ(values, (std::vector<double>{0.25, 0.6}));
    // The next press follows the pointer again.
    send(track_, QEvent::MouseButtonPress, 101);
    EXPECT_EQ(track_.value(), 0.5);
}

TEST_F(StrengthTrackTest, DoubleClickWithoutResetValueCommitsOncePerClick)
{
    doubleClick(track_, 151);
    EXPECT_EQ(track_.value(), 0.75);
    EXPECT_EQ(commits_, (std::vector<double>{0.75, 0.75}));
}

TEST_F(StrengthTrackTest, TrackOfTwoPixelsOrLessMapsThePointerDirectly)
{
    EXPECT_EQ(StrengthTrack::usableLength(2), 1);
    EXPECT_EQ(StrengthTrack::usableLength(0), 1);
    track_.resize(1, StrengthTrack::trackHeight);
    send(track_, QEvent::MouseButtonPress, 1.6);
    EXPECT_NEAR(track_.value(), 0.6, 1e-12);
    send(track_, QEvent::MouseMove, 0.5);
    EXPECT_EQ(track_.value(), 0);
    send(track_, QEvent::MouseButtonRelease, 0.5, Qt::NoButton);
    EXPECT_FALSE(pixels::grabbed(track_).isNull());
}

TEST(BoxMultiChoice, ClicksNeverEmptyTheSelection)
{
    EXPECT_EQ(multiChoiceAfterClick<int>({1}, 1), std::set<int>{1});
    EXPECT_EQ(multiChoiceAfterClick<int>({1, 2}, 1), std::set<int>{2});
    EXPECT_EQ(multiChoiceAfterClick<int>({1}, 2), (std::set<int>{1, 2}));
    EXPECT_EQ(multiChoiceAfterClick<int>({}, 0), std::set<int>{0});

    BoxMultiChoice choice({"jpeg", "png", "tiff"});
    QSignalSpy changes(&choice, &BoxMultiChoice::selectionChanged);
    choice.setSelection({});
    for (int index = 0; index < 3; ++index) EXPECT_FALSE(choice.option(index)->isSelected());
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_EQ(choice.selection(), std::set<int>{1});
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_EQ(choice.selection(), std::set<int>{1});
    QTest::mouseClick(choice.option(2), Qt::LeftButton);
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_EQ(choice.selection(), std::set<int>{2});
    EXPECT_TRUE(choice.option(2)->isSelected());
    EXPECT_FALSE(choice.option(1)->isSelected());
    EXPECT_EQ(changes.count(), 3);
}

TEST(BoxChoice, OneOptionIsChosenAndChoosingItAgainChangesNothing)
{
    BoxChoice choice({"embedded", "srgb"});
    QSignalSpy changes(&choice, &BoxChoice::selectionChanged);
    EXPECT_FALSE(choice.option(0)->isSelected());
    EXPECT_FALSE(choice.option(1)->isSelected());
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_EQ(choice.selection(), 1);
    EXPECT_TRUE(choice.option(1)->isSelected());
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_EQ(changes.count(), 1);
    choice.setSelection(0);
    EXPECT_TRUE(choice.option(0)->isSelected());
    EXPECT_FALSE(choice.option(1)->isSelected());
}

TEST(BoxChoice, OptionsShareTheRowEightApart)
{
    BoxChoice choice({"a", "a much longer label"});
    choice.resize(208, choice.sizeHint().height());
    choice.show();
    QApplication::processEvents();
    EXPECT_EQ(choice.option(0)->width(), 100);
    EXPECT_EQ(choice.option(1)->width(), 100);
    EXPECT_EQ(choice.option(1)->x() - choice.option(0)->geometry().right() - 1, 8);
}

TEST(SheetButton, DisabledButtonIgnoresClicksUntilEnabled)
{
    SheetButton button("export", true);
    button.resize(button.sizeHint());
    int runs = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++runs; });
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 0);
    button.setEnabled(true);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(button.accessibleName(), QStringLiteral("export"));
}

TEST(SheetButton, DisabledFilledButtonKeepsItsInkAtFortyPercent)
{
    SheetButton button("export", true);
    button.resize(button.sizeHint());
    EXPECT_TRUE(pixelIs(pixels::grabbed(button), 2, 2, ink(), 0));
    button.setEnabled(false);
    EXPECT_TRUE(pixelIs(pixels::grabbed(button), 2, 2, over(paper(), ink(), 0.4)));
    button.setEnabled(true);
    EXPECT_TRUE(pixelIs(pixels::grabbed(button), 2, 2, ink(), 0));
}

TEST(PaintedButton, ReturnEnterAndSpaceClick)
{
    SheetButton button("done", false);
    int runs = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++runs; });
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter);
    EXPECT_EQ(runs, 2);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(runs, 3);
}

TEST(BoxSwitch, InstantAnimationsShowTheNewStateAtOnce)
{
    BoxSwitch toggle(30);
    toggle.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&toggle));
    toggle.setOn(true);
    EXPECT_EQ(pixels::grabbed(toggle).pixelColor(15, 6), ink());
    toggle.setOn(false);
    EXPECT_EQ(pixels::grabbed(toggle).pixelColor(15, 6), paper());
}

TEST(BoxSwitch, ClicksAndOutsideChangesAnimateAlike)
{
    Motion::setInstant(false);
    const auto midway = [](bool byClick) {
        BoxSwitch toggle(30);
        toggle.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&toggle));
        if (byClick)
            QTest::mouseClick(&toggle, Qt::LeftButton);
        else
            toggle.setOn(true);
        EXPECT_TRUE(toggle.isOn());
        const QColor early = pixels::grabbed(toggle).pixelColor(15, 6);
        QTest::qWait(250);
        const QColor late = pixels::grabbed(toggle).pixelColor(15, 6);
        return std::pair{early, late};
    };
    const auto [clickEarly, clickLate] = midway(true);
    const auto [setEarly, setLate] = midway(false);
    Motion::setInstant(true);
    EXPECT_NE(clickEarly, ink());
    EXPECT_NE(setEarly, ink());
    EXPECT_EQ(clickLate, ink());
    EXPECT_EQ(setLate, ink());
}

TEST(CompareHint, ClicksReachTheViewBeneath)
{
    QWidget window;
    window.resize(400, 200);
    auto* beneath = new SheetButton("beneath", false, &window);
    beneath->setGeometry(0, 0, 400, 200);
    auto* hint = new CompareHint(&window);
    hint->resize(hint->sizeHint());
    hint->move(50, 60);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    QObject::connect(beneath, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 70));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(hint->accessibleName(), QStringLiteral("hold space to see the original"));
}

TEST(ApplicationStyle, StockSliderAndScrollBarAreInkOnPaperInBothAppearances)
{
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        QSlider slider(Qt::Horizontal);
        slider.setRange(0, 100);
        slider.setValue(50);
        slider.resize(200, 24);
        slider.setPalette(applicationPalette(appearance));
        const QImage drawn = pixels::grabbed(slider);
        // The thumb is ink at the value's place; the line elsewhere is pencil on paper.
        int thumbX = -1;
        for (int x = 0; x < drawn.width(); ++x)
            if (pixels::pixelIs(drawn, x, 12, pixels::over(pixels::paper(appearance), pixels::ink(appearance), 0.9), 8))
                thumbX = x;
        EXPECT_NEAR(thumbX, 100, 12) << (appearance == Appearance::dark ? "dark" : "light");
        EXPECT_TRUE(pixels::pixelIs(drawn, 100, 2, pixels::paper(appearance), 2));

        QScrollBar bar(Qt::Vertical);
        bar.setRange(0, 100);
        bar.setPageStep(50);
        bar.resize(14, 300);
        bar.setPalette(applicationPalette(appearance));
        const QImage scroll = pixels::grabbed(bar);
        const QColor handleInk =
            pixels::over(pixels::paper(appearance), pixels::ink(appearance), ApplicationStyle::scrollHandleInk);
        EXPECT_TRUE(pixels::pixelIs(scroll, 7, 60, handleInk, 3)) << "the handle at the top";
        EXPECT_TRUE(pixels::pixelIs(scroll, 7, 260, pixels::paper(appearance), 2)) << "paper below it";
    }
}

} // namespace
} // namespace oxel
