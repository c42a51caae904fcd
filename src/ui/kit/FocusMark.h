#pragma once

#include <QWidget>

namespace oxel {

// The sign of keyboard focus around a painted control: four ink corner marks a few pixels outside
// it, the design's own stroke. It lies on the nearest ancestor that does not clip it (the window,
// or the viewport of a scroll area), above the control's neighbours, follows the control as it or
// its ancestors move or resize, and takes no clicks.
class FocusMark final : public QWidget {
    Q_OBJECT
public:
    explicit FocusMark(QWidget& target);

    // Shows the mark around the control, or hides it.
    void showAround(bool shown);

    // The space between the control and the mark, and the length of each arm of a corner.
    static constexpr int gap = 3;
    static constexpr qreal arm = 6;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static QWidget* unclippedAncestor(QWidget& target);
    void place();

    QWidget& target_;
};

} // namespace oxel
