#pragma once

#include "ui/kit/PaintedButton.h"

namespace oxel {

// A sheet's action button: its label in an `InkBox`, filled with ink or outlined. Disabled, it
// ignores clicks and is drawn at 0.4 opacity as a whole; enabled again, it acts at once.
class SheetButton : public PaintedButton {
    Q_OBJECT
public:
    SheetButton(const QString& label, bool filled, QWidget* parent = nullptr);

    bool isFilled() const { return filled_; }
    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter) override;

private:
    QFont labelFont() const;

    bool filled_;
};

} // namespace oxel
