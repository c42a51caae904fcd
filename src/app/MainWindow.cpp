#include "app/MainWindow.h"

#include "app/WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

namespace oxel {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("oxel pro"));
    setObjectName(QStringLiteral("main"));
    resize(defaultSize);
}

void MainWindow::setContent(QWidget* content)
{
    content->setMinimumSize(minimumSize);
    setCentralWidget(content);
}

void MainWindow::resizeContent(QSize size)
{
    layout()->activate();
    resize(this->size() - centralWidget()->size() + size);
}

void MainWindow::keepPlacement(SettingsStore& settings) const
{
    if (!isVisible()) return;
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    WindowPlacement{normalGeometry(), isMaximized(),
                    QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                             frame.bottom() - inner.bottom())}
        .keep(settings);
}

void MainWindow::restorePlacement(const SettingsStore& settings)
{
    const std::optional<WindowPlacement> kept = WindowPlacement::kept(settings);
    if (!kept) return;
    setGeometry(fittedOnScreen(*kept));
    if (kept->maximised) setWindowState(windowState() | Qt::WindowMaximized);
    sized_ = true;
}

QRect MainWindow::fittedOnScreen(const WindowPlacement& placement)
{
    const QScreen* screen = QGuiApplication::screenAt(placement.normal.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    // The content's minimum becomes the window's own once its layout has worked it out.
    if (layout()) layout()->activate();
    return placement.fittedTo(screen->availableGeometry(), minimumSizeHint());
}

void MainWindow::fitFirstOnScreen()
{
    // Made to fit as a kept placement is, though the desktop's frame is not known yet; where it
    // opens stays the desktop's to choose unless the window would reach past the screen there.
    const QRect fitted = fittedOnScreen(WindowPlacement{geometry(), false, {}});
    const QScreen* screen = QGuiApplication::screenAt(fitted.center());
    if (screen && !screen->availableGeometry().contains(QRect(geometry().topLeft(), fitted.size())))
        setGeometry(fitted);
    else
        resize(fitted.size());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the one window is quitting, which the quit guard may turn down.
    event->ignore();
    Q_EMIT closeRequested();
}

void MainWindow::showEvent(QShowEvent* event)
{
    // Sized once the menu bar is in place, which takes its height from the window (none when the
    // desktop shows the menus elsewhere).
    if (!sized_ && centralWidget()) {
        sized_ = true;
        resizeContent(defaultSize);
        fitFirstOnScreen();
    }
    QMainWindow::showEvent(event);
}

} // namespace oxel
