#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QLayout>

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
        layout()->activate();
        resize(size() - centralWidget()->size() + defaultSize);
    }
    QMainWindow::showEvent(event);
}

} // namespace oxel
