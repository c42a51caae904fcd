#include "app/MainWindow.h"
#include "app/WindowPlacement.h"
#include "platform/SettingsStore.h"
#include "support/TemporaryFolder.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

// The first start opens at the default size on a screen with room for it, and fitted with its
// frame to a laptop's screen, where a taller window hid its bottom bar below the screen's edge.
TEST(MainWindowTest, ItsSizesAreTheContentsBeneathTheMenuBarAndTheFirstFitsTheScreen)
{
    ASSERT_EQ(QGuiApplication::screens().size(), 3) << "the interface tests' wide and laptop screens are missing";
    for (const QScreen* screen : QGuiApplication::screens().mid(1)) {
        MainWindow window;
        window.menuBar()->addMenu(QStringLiteral("file"))->addAction(QStringLiteral("quit"));
        auto* content = new QWidget;
        window.setContent(content);
        window.move(screen->availableGeometry().topLeft());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_GT(window.menuBar()->height(), 0);
        const int room = screen->availableGeometry().height();
        EXPECT_TRUE(screen->availableGeometry().contains(window.frameGeometry())) << window.frameGeometry().bottom();
        EXPECT_TRUE(content->size() == MainWindow::defaultSize || room < 1000) << content->height();
        EXPECT_EQ(content->width(), MainWindow::defaultSize.width());
        window.resize(300, 200);
        QApplication::processEvents();
        EXPECT_EQ(content->size(), MainWindow::minimumSize);
    }
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
    // A frame edited in by hand that no desktop draws is left out.
    for (int margin : {1'000'000, -1'000'000}) {
        WindowPlacement{placed, false, QMargins(margin, margin, 0, 0)}.keep(settings);
        EXPECT_TRUE(screen.contains(opened(settings)->geometry())) << margin;
    }
}

// A kept frame is the desktop's only when the window at its smallest fits in what the frame leaves
// of the screen; one edited in by hand that leaves a sliver would put the window off the screen.
TEST(WindowPlacementTest, AKeptFrameIsUsedOnlyWhenTheSmallestWindowFitsInWhatItLeavesOfTheScreen)
{
    const QRect screen(2720, 0, 1366, 768);
    const QSize minimum(900, 640);
    for (int left : {screen.width() - 1, screen.width() - 300}) {
        const WindowPlacement edited{QRect(screen.topLeft(), QSize(1000, 700)), false, QMargins(left, 0, 0, 0)};
        EXPECT_TRUE(screen.contains(edited.fittedTo(screen, minimum))) << left;
    }
    const QMargins drawn(5, 20, 5, 5);
    const WindowPlacement framed{QRect(screen.topLeft(), QSize(1200, 800)), false, drawn};
    EXPECT_TRUE(screen.contains(framed.fittedTo(screen, minimum) + drawn));
}

} // namespace
} // namespace oxel
