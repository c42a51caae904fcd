#pragma once

#include "ui/kit/PaintedButton.h"

namespace oxel {

// A plain button whose label sits in an outlined `InkBox`: "ok", "update now", an announcement's
// link, the sign-in providers. The label is regular ink, 13 pt unless the style says; `labelWidth`, when set, fixes the
// width the label is centred in.
class InkBoxLabel : public PaintedButton {
    Q_OBJECT
public:
    struct Style {
        qreal vertical = 8;
        qreal horizontal = 26;
        double inkOpacity = 0.7;
        double contentAlpha = 0.6;
        qreal labelWidth = 0;
        qreal fontSize = 13;
        bool quiet = false;
    };

    InkBoxLabel(const QString& label, Style style, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter) override;

private:
    Style style_;
};

} // namespace oxel
