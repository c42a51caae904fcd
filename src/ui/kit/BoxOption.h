#pragma once

#include "ui/kit/PaintedButton.h"

namespace oxel {

// One option of a `BoxChoice` or `BoxMultiChoice`: its label centred in a box that shares the
// row's width, ink with paper-coloured text when selected, paper with a faint border otherwise.
class BoxOption : public PaintedButton {
    Q_OBJECT
public:
    explicit BoxOption(const QString& label, QWidget* parent = nullptr);

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintFace(QPainter& painter) override;

private:
    bool selected_ = false;
};

} // namespace oxel
