#pragma once

#include <QAbstractButton>

class QPainter;

namespace oxel {

// A button that draws its own face; the platform draws no chrome around it. Return and Enter click
// it from the keyboard, while space passes on, since space is the compare key. Its label is its
// accessible name. Disabled, it ignores clicks and its whole face is painted at `disabledOpacity`.
class PaintedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PaintedButton(QWidget* parent = nullptr);

    void setLabel(const QString& label);
    QString label() const { return text(); }

    qreal disabledOpacity() const { return disabledOpacity_; }
    void setDisabledOpacity(qreal opacity);

protected:
    // Draws the face in the widget's own coordinates; the opacity is already set.
    virtual void paintFace(QPainter& painter) = 0;

    void paintEvent(QPaintEvent* event) final;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    qreal disabledOpacity_ = 0.4;
};

} // namespace oxel
