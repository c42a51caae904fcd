#include "app/MainWindow.h"

#include "ui/Appearance.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QPainter>

namespace oxel {

namespace {

class PaperPage final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
    }
};

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("oxel pro"));
    setObjectName(QStringLiteral("main"));
    setMinimumSize(minimumSize);
    resize(defaultSize);
    setCentralWidget(new PaperPage(this));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the one window is quitting, which the quit guard may turn down.
    event->ignore();
    Q_EMIT closeRequested();
}

} // namespace oxel
