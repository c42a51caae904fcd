#include "app/MainWindow.h"
#include "platform/SettingsStore.h"
#include "support/TemporaryFolder.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
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

// A window as the next start opens it, from the settings file as it was left.
std::unique_ptr<MainWindow> opened(const SettingsStore& kept, QWidget* content = nullptr)
{
    auto window = std::make_unique<MainWindow>();
    if (content) window->setContent(content);
    window->restorePlacement(SettingsStore(kept.file()));
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
}

TEST(MainWindowTest, OpensWhereItWasLeftOnTheScreenAndNoSmallerThanItsContent)
{
    testing::TemporaryFolder folder;
    SettingsStore settings(folder / "settings.json");
    auto window = opened(settings, new QWidget);
    EXPECT_EQ(window->centralWidget()->size(), MainWindow::defaultSize);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed(screen.topLeft() + QPoint(40, 30), QSize(600, 500));
    window = opened(settings);
    window->setGeometry(placed);
    window->keepPlacement(settings);
    window = opened(settings);
    EXPECT_EQ(window->geometry(), placed);
    window->showMaximized();
    window->keepPlacement(settings);
    window = opened(settings);
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->normalGeometry(), placed);
    window = opened(SettingsStore(folder / "none.json"));
    window->setGeometry(QRect(screen.bottomRight() + QPoint(500, 500), screen.size() * 2));
    window->keepPlacement(settings);
    window = opened(settings);
    EXPECT_TRUE(screen.contains(window->geometry()));
    window = opened(settings, new QWidget);
    EXPECT_EQ(window->centralWidget()->width(), MainWindow::minimumSize.width());
}

} // namespace
} // namespace oxel
