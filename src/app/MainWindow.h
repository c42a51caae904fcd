#pragma once

#include <QMainWindow>

namespace oxel {

class SettingsStore;
struct WindowPlacement;

// The application's one window, titled "oxel pro"; its content is the application's root view.
// The sizes are the content's, beneath the menu bar: it starts where it was left, else at
// `defaultSize` made to fit the screen, and can be made no smaller than `minimumSize`.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{1200, 800};
    static constexpr QSize minimumSize{900, 620};

    explicit MainWindow(QWidget* parent = nullptr);

    // Puts the content in the window, held to the minimum size.
    void setContent(QWidget* content);
    // Sizes the window so that its content, beneath the menu bar, is `size`.
    void resizeContent(QSize size);
    // Keeps where the window is now, for the next start; a window never shown keeps nothing.
    void keepPlacement(SettingsStore& settings) const;
    // Puts the window back where it was kept, on the screen it opens on and no smaller than the
    // content allows; with nothing kept it opens at the default size.
    void restorePlacement(const SettingsStore& settings);

Q_SIGNALS:
    // The close button was pressed; the application decides whether to quit.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The placement brought onto the screen it lies on, or the primary one.
    QRect fittedOnScreen(const WindowPlacement& placement);
    void fitFirstOnScreen();
    // What the desktop draws around the window; nothing until it has framed it.
    QMargins drawnFrame() const;
    // Brings the window back onto its screen if the frame the desktop has drawn now, larger than
    // the one it was placed with, takes it past the screen's edge.
    void fitFramedOnScreen();

    bool sized_ = false;
    bool awaitingFrame_ = true;
};

} // namespace oxel
