#include "ui/NudgeEditor.h"
#include "support/ui/PixelChecks.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
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

TEST(NudgeEditor, EmptyPlaceholderShowsNothing)
{
    NudgeEditor editor("", true, 46, 46);
    editor.resize(200, 46);
    EXPECT_EQ(editor.height(), 46);
    EXPECT_FALSE(placeholderVisible(editor));
}

} // namespace
} // namespace oxel
