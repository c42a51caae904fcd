#pragma once

#include "ui/kit/PaintedButton.h"

#include <QVariantAnimation>

namespace oxel {

// An on/off switch drawn as a square: paper with a light border when off, ink with a tick when on.
// A click turns it over; every change, by a click or from outside, is animated over 0.15 s.
// `toggled` tells the new state.
class BoxSwitch : public PaintedButton {
    Q_OBJECT
public:
    explicit BoxSwitch(qreal side, QWidget* parent = nullptr);

    bool isOn() const { return isChecked(); }
    void setOn(bool on) { setChecked(on); }

    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter) override;

private:
    void animateTo(bool on);

    qreal side_;
    qreal shown_ = 0; // 0 off ... 1 on, as the animation has got
    QVariantAnimation animation_;
};

} // namespace oxel
