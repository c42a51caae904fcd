#include "app/MainWindow.h"

#include "app/WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWindow>

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
    WindowPlacement{normalGeometry(), isMaximized(), drawnFrame()}.keep(settings);
}

QMargins MainWindow::drawnFrame() const
{
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
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
    // Made to fit as a kept placement is, with room for a frame the desktop has yet to draw; where
    // it opens stays the desktop's to choose unless the framed window would reach past the screen
    // there.
    const QMargins drawn = drawnFrame();
    const QMargins frame = drawn.isNull() ? WindowPlacement::usualFrame : drawn;
    const QRect fitted = fittedOnScreen(WindowPlacement{geometry(), false, frame});
    const QScreen* screen = QGuiApplication::screenAt(fitted.center());
    const QRect framed(geometry().topLeft(), fitted.size().grownBy(frame));
    if (screen && !screen->availableGeometry().contains(framed))
        setGeometry(fitted);
    else
        resize(fitted.size());
}

void MainWindow::fitFramedOnScreen()
{
    const QMargins frame = drawnFrame();
    if (!awaitingFrame_ || !isVisible() || frame.isNull()) return;
    awaitingFrame_ = false;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (screen && screen->availableGeometry().contains(frameGeometry())) return;
    setGeometry(fittedOnScreen(WindowPlacement{geometry(), false, frame}));
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
    // The desktop's frame is known once it has framed the window, by the time it is first shown
    // on the screen.
    if (awaitingFrame_ && windowHandle()) windowHandle()->installEventFilter(this);
    QMainWindow::showEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    fitFramedOnScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    fitFramedOnScreen();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose) {
        fitFramedOnScreen();
        if (!awaitingFrame_) windowHandle()->removeEventFilter(this);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace oxel
