#pragma once

#include "ui/kit/DynamicColour.h"
#include "ui/kit/PaintedButton.h"

namespace oxel {

// A quiet text link: its label at 11 pt, in pencil unless said, underlined by a pencil rule 0.75
// high laid over the label's bottom edge ("reset", "want the light too? ...", a tile's "relink").
class PencilLink : public PaintedButton {
    Q_OBJECT
public:
    explicit PencilLink(const QString& label, QWidget* parent = nullptr);
    PencilLink(const QString& label, const DynamicColour& labelColour, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintFace(QPainter& painter) override;

private:
    DynamicColour labelColour_;
};

} // namespace oxel
