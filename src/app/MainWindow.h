#pragma once

#include <QMainWindow>

namespace oxel {

// The application's one window, titled "oxel pro"; its content is the application's root view.
// The sizes are the content's, beneath the menu bar: it starts at `defaultSize` and can be made no
// smaller than `minimumSize`.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{1200, 800};
    static constexpr QSize minimumSize{900, 620};

    explicit MainWindow(QWidget* parent = nullptr);

    // Puts the content in the window, held to the minimum size.
    void setContent(QWidget* content);

Q_SIGNALS:
    // The close button was pressed; the application decides whether to quit.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool sized_ = false;
};

} // namespace oxel
