#pragma once

#include "ui/kit/DynamicColour.h"

#include <QWidget>

namespace oxel {

// The crosshair of the empty state: a vertical and a horizontal stroke through the middle of a
// square. It lets clicks through.
class DrawnCrosshair : public QWidget {
    Q_OBJECT
public:
    DrawnCrosshair(qreal side, DynamicColour colour, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal side_;
    DynamicColour colour_;
};

} // namespace oxel
