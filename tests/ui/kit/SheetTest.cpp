#include "support/ui/PixelChecks.h"
#include "ui/kit/SheetDialog.h"
#include "ui/kit/SheetFrame.h"
#include "ui/kit/TextLabel.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

QWidget* block(int width, int height)
{
    auto* widget = new QWidget;
    widget->setFixedSize(width, height);
    return widget;
}

TEST(SheetFrame, NarrowContentStillMakesA380WideSheet)
{
    SheetFrame frame("rename", block(100, 40));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.resize(frame.sizeHint());
    EXPECT_EQ(frame.width(), 380);
    EXPECT_EQ(frame.content()->geometry().topLeft().x(), 22);
    EXPECT_EQ(frame.content()->geometry().top(), frame.title()->geometry().bottom() + 1 + 16);
    EXPECT_TRUE(pixels::pixelIs(pixels::grabbed(frame), 370, 10, pixels::paper(), 0));
}

TEST(SheetFrame, WideContentWidensTheSheet)
{
    SheetFrame frame("export 12 images", block(500, 40));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.resize(frame.sizeHint());
    EXPECT_EQ(frame.width(), 500 + 2 * 22);
}

TEST(SheetDialog, IsAWindowModalSheetThatGoesAwayWhenClosed)
{
    QWidget window;
    window.resize(600, 400);
    window.show();
    QPointer<SheetDialog> sheet = new SheetDialog("account", &window, 420);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("account"));
    EXPECT_EQ(sheet->frame()->title()->text(), QStringLiteral("account"));
    sheet->open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.data()));
    EXPECT_EQ(sheet->width(), 420);
    sheet->reject();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sheet.isNull());
}

} // namespace
} // namespace oxel
