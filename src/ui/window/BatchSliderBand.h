#pragma once

#include "ui/window/BatchSlider.h"
#include "ui/window/ModelWatch.h"

#include <QWidget>

class QHBoxLayout;

namespace oxel {

class AppModel;
class SliderValue;
class StrengthTrack;
class TextLabel;

// One column of the results band: a header with the slider's name, its help text and the batch
// value, the batch track (a double click restores 1.0), and the names of its stops beneath.
// Every change of the track goes to the batch look in the one order `setBatchValue` keeps.
class BatchSliderBand : public QWidget {
    Q_OBJECT
public:
    BatchSliderBand(AppModel& model, BatchSlider slider, QWidget* parent = nullptr);
    ~BatchSliderBand() override;

    StrengthTrack* track() const { return track_; }
    SliderValue* value() const { return value_; }
    // Reads the model again, now.
    virtual void refresh();

protected:
    AppModel& model() const { return model_; }
    // The header row, for what a band adds before its value.
    QHBoxLayout* header() const { return header_; }
    int valuePosition() const;

private:
    AppModel& model_;
    BatchSlider slider_;
    QHBoxLayout* header_;
    SliderValue* value_;
    StrengthTrack* track_;
    ModelWatch watch_;
};

} // namespace oxel
