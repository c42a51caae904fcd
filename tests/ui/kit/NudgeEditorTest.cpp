#include "ui/kit/NudgeEditor.h"
#include "support/ui/PixelChecks.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace oxel {
namespace {

// Whether anything but paper lies in the placeholder's first line.
bool placeholderVisible(NudgeEditor& editor)
{
    const QImage image = pixels::grabbed(editor);
    for (int y = 12; y < 24; ++y)
        for (int x = 14; x < 120; ++x)
            if (image.pixelColor(x, y) != pixels::paper()) return true;
    return false;
}

class NudgeEditorTest : public ::testing::Test {
protected:
    NudgeEditorTest()
    {
        editor_.resize(320, editor_.height());
        editor_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&editor_));
    }

    NudgeEditor editor_{"e.g. warmer, like late afternoon", false, 44, 76};
};

TEST_F(NudgeEditorTest, OnlyAnEmptyTextShowsThePlaceholder)
{
    EXPECT_TRUE(editor_.isPlaceholderShown());
    EXPECT_TRUE(placeholderVisible(editor_));
    editor_.setText(" ");
    EXPECT_FALSE(editor_.isPlaceholderShown());
    EXPECT_FALSE(placeholderVisible(editor_));
    editor_.setText("");
    EXPECT_TRUE(placeholderVisible(editor_));
}

TEST_F(NudgeEditorTest, GrowsWithItsTextThenScrollsInsideTheMaximum)
{
    EXPECT_EQ(editor_.height(), 44);
    editor_.setText("one\ntwo\nthree");
    QApplication::processEvents();
    EXPECT_GT(editor_.height(), 44);
    EXPECT_LE(editor_.height(), 76);
    editor_.setText(QString("make it warmer and softer, ").repeated(20));
    QApplication::processEvents();
    EXPECT_EQ(editor_.height(), 76);
    EXPECT_GT(editor_.editor()->verticalScrollBar()->maximum(), 0);
    editor_.setText("");
    QApplication::processEvents();
    EXPECT_EQ(editor_.height(), 44);
}

TEST_F(NudgeEditorTest, EveryKeystrokeIsReportedButSettingTheTextIsNot)
{
    QSignalSpy changes(&editor_, &NudgeEditor::textChanged);
    editor_.setText("from the model");
    EXPECT_EQ(changes.count(), 0);
    editor_.editor()->setFocus();
    editor_.editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor_.editor(), "!!");
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.last().first().toString(), QStringLiteral("from the model!!"));
}

TEST_F(NudgeEditorTest, AWrappingExampleGetsItsLinesUpToTheMaximum)
{
    editor_.setPlaceholder("warmer, like the last hour before the sun goes down behind the hills");
    QApplication::processEvents();
    EXPECT_GT(editor_.height(), 44) << "two lines of example need more than one";
    const QImage image = pixels::grabbed(editor_);
    // The example's second line lies inside the box, above its lower border.
    bool secondLine = false;
    for (int y = 30; y < editor_.height() - 4; ++y)
        for (int x = 14; x < 200; ++x) secondLine |= image.pixelColor(x, y) != pixels::paper();
    EXPECT_TRUE(secondLine);
    const int twoLines = editor_.height();
    editor_.setPlaceholder(QString("a very long suggestion from the backend ").repeated(10));
    QApplication::processEvents();
    EXPECT_GT(editor_.height(), twoLines);
    EXPECT_LE(editor_.height(), 76) << "never past the maximum: the last line that fits is cut";
    editor_.setText("x");
    QApplication::processEvents();
    EXPECT_EQ(editor_.height(), 44) << "typed text alone counts once the example is gone";
}

// The box's corner mark at one of its lower corners: ink far heavier than the border beside it.
bool lowerCornerMarked(const QImage& image, int x)
{
    const int y = image.height() - 1;
    return image.pixelColor(x, y).lightness() + 60 < image.pixelColor(image.width() / 2, y).lightness();
}

TEST(NudgeEditor, OpenedWithALongTextKeepsItsLowerCornerMarks)
{
    // A carried-over nudge is in the field before it is first shown and laid out.
    QWidget holder;
    auto* layout = new QVBoxLayout(&holder);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* editor = new NudgeEditor("", false, 44, 76, &holder); // still narrow: the text takes many lines
    editor->setText("late low sun, long shadows over the whole of the valley and warm light on every face");
    layout->addWidget(editor);
    layout->addStretch();
    holder.resize(640, 200);
    holder.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&holder));
    QApplication::processEvents();
    const QImage image = pixels::grabbed(*editor);
    EXPECT_TRUE(lowerCornerMarked(image, 4)) << "lower left";
    EXPECT_TRUE(lowerCornerMarked(image, image.width() - 5)) << "lower right";
}

TEST(NudgeEditor, EmptyPlaceholderShowsNothing)
{
    NudgeEditor editor("", true, 46, 46);
    editor.resize(200, 46);
    EXPECT_EQ(editor.height(), 46);
    EXPECT_FALSE(placeholderVisible(editor));
}

} // namespace
} // namespace oxel
