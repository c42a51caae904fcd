#pragma once

#include <QMainWindow>

namespace oxel {

// The application's one window, titled "oxel pro"; its content is the application's root view.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{1200, 800};
    static constexpr QSize minimumSize{900, 620};

    explicit MainWindow(QWidget* parent = nullptr);

Q_SIGNALS:
    // The close button was pressed; the application decides whether to quit.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace oxel
