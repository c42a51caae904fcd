#pragma once

#include "ui/kit/DynamicColour.h"

#include <QFont>
#include <QWidget>

namespace oxel {

// A one-line text whose digits are monospaced, so a changing number keeps its neighbours still;
// its first baseline sits where a `TextLabel` of the same font puts its own.
class DigitsLabel : public QWidget {
    Q_OBJECT
public:
    DigitsLabel(QString text, QFont font, DynamicColour colour, Qt::Alignment alignment = Qt::AlignLeft,
                QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    DynamicColour colour_;
    Qt::Alignment alignment_;
};

} // namespace oxel
