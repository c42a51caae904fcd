#pragma once

#include "sheets/ModelSheet.h"

#include <cstdint>
#include <optional>
#include <string>

namespace oxel {

class BoxSwitch;
class SheetButton;
class TextLabel;

// What the confirm sheet says for n pictures and the roll (none while no balance is held).
struct ConfirmState {
    std::string title;
    std::string shots;
    std::optional<std::string> warning; // the roll does not cover the batch
    bool buyShots = false;
    bool processEnabled = false;
};
ConfirmState confirmState(int64_t toProcess, std::optional<int64_t> balance);
// The grain row's closing words.
std::string grainDescription(bool grain);

// Before a batch goes to be developed with colour and light: how many pictures, how many shots
// that takes and how many are left, a warning when the roll falls short, and the film-grain
// switch. "process" needs at least one shot; "buy shots" goes to the shop once this sheet has gone.
class ConfirmSheet : public ModelSheet {
    Q_OBJECT
public:
    ConfirmSheet(AppModel& model, QWidget* parent);

private:
    void refresh();
    // The sheet is at least the frame's minimum wide, and wider when the grain row needs it: the
    // words said before money is spent are never cut.
    void fitWidth();
    void buyShots();

    TextLabel* shots_;
    TextLabel* warning_;
    QWidget* grainRow_;
    BoxSwitch* grain_;
    TextLabel* grainWords_;
    SheetButton* buy_;
    SheetButton* process_;
};

} // namespace oxel
