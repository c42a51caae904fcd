#pragma once

#include "ui/window/BatchSliderBand.h"

namespace oxel {

class BoxChoice;

// The results band's colour column: the batch colour amount and, while some result offers a
// runner-up look, the batch's choice between the house's pick and the runner-up.
class ColourBand : public BatchSliderBand {
    Q_OBJECT
public:
    explicit ColourBand(AppModel& model, QWidget* parent = nullptr);

    BoxChoice* lookChoice() const { return lookChoice_; }
    void refresh() override;

private:
    QWidget* lookChoiceHolder_;
    BoxChoice* lookChoice_;
};

} // namespace oxel
