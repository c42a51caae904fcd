#include "app/MainWindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(MainWindowTest, ItsSizesAreTheContentsBeneathTheMenuBar)
{
    MainWindow window;
    window.menuBar()->addMenu(QStringLiteral("file"))->addAction(QStringLiteral("quit"));
    auto* content = new QWidget;
    window.setContent(content);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_GT(window.menuBar()->height(), 0);
    EXPECT_EQ(content->size(), MainWindow::defaultSize);
    window.resize(300, 200);
    QApplication::processEvents();
    EXPECT_EQ(content->size(), MainWindow::minimumSize);
}

} // namespace
} // namespace oxel
