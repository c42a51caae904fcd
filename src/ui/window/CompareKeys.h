#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

namespace oxel {

// The main window's own keys, seen by an application-wide filter ahead of every control while the
// main view is on screen: the space bar held to compare results with their originals, in every
// window of the application; Escape and the arrows to close and step the lightbox, only while the
// main window is the active one. Keys typed into a text field and keys with Shift, Control, Alt or
// Meta pass on, and so does space on a button or switch the keyboard reached, which it presses. Any space release that is not an automatic repeat ends comparing, and so does the
// application losing activation, so no release can go missing and leave originals showing.
class CompareKeys : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // A press that starts comparing while developed pictures are present.
        std::function<void()> comparedResults;
        std::function<bool()> hasResults;
        std::function<bool()> lightboxOpen;
        std::function<void()> closeLightbox;
        std::function<void(int step)> stepLightbox;
    };

    // `mainView` is the content of the main window; the filter is installed while it is shown.
    CompareKeys(QWidget& mainView, Hooks hooks);
    ~CompareKeys() override;

    void install();
    void remove();
    bool installed() const { return installed_; }
    bool comparing() const { return comparing_; }

    // Whether the focus widget takes typed text.
    static bool textHasFocus();
    // Whether the focus rests on a button the keyboard reached: one of ours that shows its focus
    // mark, or a stock button (an alert's, a file dialog's).
    static bool buttonHasFocus();

Q_SIGNALS:
    void comparingChanged(bool comparing);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when the key is swallowed.
    bool handle(QKeyEvent& key);
    bool handleSpace(QKeyEvent& key, bool passOn);
    bool handleLightboxKey(QKeyEvent& key);
    void setComparing(bool comparing);

    QWidget& mainView_;
    Hooks hooks_;
    bool installed_ = false;
    bool comparing_ = false;
};

} // namespace oxel
