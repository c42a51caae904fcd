#pragma once

#include "ui/kit/Fonts.h"

#include <QWidget>

namespace oxel {

// A slider's value printed with two decimals in monospaced digits, in ink at 0.9, aligned
// trailing in its frame, so that a changing value never shifts its neighbours. The weight says
// whether the photographer set the value by hand (regular) or it follows the batch (light).
class SliderValue : public QWidget {
    Q_OBJECT
public:
    SliderValue(double size, FontWeight weight, QWidget* parent = nullptr);

    void setValue(double value);
    void setWeight(FontWeight weight);
    // The printed text; empty while no value is shown.
    const QString& text() const { return text_; }
    void clear();
    FontWeight weight() const { return weight_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
    FontWeight weight_;
    QString text_;
};

} // namespace oxel
