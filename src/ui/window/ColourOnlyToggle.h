#pragma once

#include <QWidget>

namespace oxel {

class AppModel;
class BoxSwitch;
class PaintedButton;

// The bottom bar's choice of how the next develop runs: "colour only" with its switch, and the
// "i" that explains the two ways. A click on the switch never sets the flag itself; the model
// decides whether it turns off, turns on, or opens the explainer first.
class ColourOnlyToggle : public QWidget {
    Q_OBJECT
public:
    explicit ColourOnlyToggle(AppModel& model, QWidget* parent = nullptr);

    // Shows the model's flag again.
    void refresh();
    BoxSwitch* boxSwitch() const { return switch_; }
    PaintedButton* infoMark() const { return info_; }

private:
    AppModel& model_;
    BoxSwitch* switch_;
    PaintedButton* info_;
};

} // namespace oxel
