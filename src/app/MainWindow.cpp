#include "app/MainWindow.h"

#include <QCloseEvent>

namespace oxel {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("oxel pro"));
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumSize);
    resize(defaultSize);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the one window is quitting, which the quit guard may turn down.
    event->ignore();
    Q_EMIT closeRequested();
}

} // namespace oxel
