#pragma once

#include "ui/kit/Appearance.h"

#include <QSizeF>
#include <QWidget>

class QPainter;

namespace oxel {

// The pencil centre line with three ticks behind the empty main window and the start screens.
// It fills what it is given and lets clicks through to what lies beneath.
class WorkingSheetCentreLine : public QWidget {
    Q_OBJECT
public:
    explicit WorkingSheetCentreLine(QWidget* parent = nullptr);

    static void draw(QPainter& painter, QSizeF size, Appearance appearance);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace oxel
