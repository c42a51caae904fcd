#pragma once

#include "ui/kit/Fonts.h"

#include <QWidget>

namespace oxel {

class RowLabel;
class SliderValue;
class StrengthTrack;

// A slider row 22 high: the row's name, a track with ticks at 0, 0.5 and 1 taking the width left,
// and the printed value, 10 apart. The batch sliders of the nudge band, the colour row and the
// lightbox's light row are all one.
class SliderRow : public QWidget {
    Q_OBJECT
public:
    struct Sizes {
        int labelWidth;
        double labelSize;
        int valueWidth;
        double valueSize;
    };

    SliderRow(const QString& name, Sizes sizes, QWidget* parent = nullptr);

    static constexpr int rowHeight = 22;
    static constexpr int spacing = 10;

    RowLabel* name() const { return name_; }
    StrengthTrack* track() const { return track_; }
    SliderValue* value() const { return value_; }
    // Puts the thumb and the printed value at `value`, in regular weight when set by hand.
    void showValue(double value, bool setByHand);

private:
    RowLabel* name_;
    StrengthTrack* track_;
    SliderValue* value_;
};

} // namespace oxel
