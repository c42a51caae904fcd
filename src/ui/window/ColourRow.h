#pragma once

#include "ui/window/ModelWatch.h"

#include <QWidget>

#include <memory>

namespace oxel {

class LookPicker;
class SliderRow;

// One image's own colour: its track, on which the image keeps an offset from the batch colour,
// its value (regular weight once set by hand), and under the track the looks to choose from. A
// double click on the track drops the offset, so the image follows the batch again.
class ColourRow : public QWidget {
    Q_OBJECT
public:
    struct Sizes {
        int labelWidth;
        int valueWidth;
        int thumbHeight;
        double valueSize;

        static constexpr Sizes lightbox() { return {54, 44, 44, 14}; }
        static constexpr Sizes tile() { return {40, 34, 34, 12}; }
    };

    ColourRow(AppModel& model, std::shared_ptr<BatchItem> item, Sizes sizes, QWidget* parent = nullptr);
    ~ColourRow() override;

    // Reads the model and the item again, now.
    void refresh();
    SliderRow* trackRow() const { return trackRow_; }
    LookPicker* lookPicker() const { return lookPicker_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppModel& model_;
    std::shared_ptr<BatchItem> item_;
    SliderRow* trackRow_;
    LookPicker* lookPicker_;
    ModelWatch watch_;
};

} // namespace oxel
