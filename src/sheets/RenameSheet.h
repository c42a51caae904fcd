#pragma once

#include "sheets/ModelSheet.h"

namespace oxel {

class BoxedField;
class SheetButton;

// Whether a draft can be offered as a name: something is left once spaces and tabs are trimmed.
bool renameable(const QString& draft);

// A new name for the open batch, seeded with its name. "rename" stands ready while the draft
// holds more than blanks; Return renames whatever the button shows, and the model ignores a blank
// name. "cancel" never reaches the model.
class RenameSheet : public ModelSheet {
    Q_OBJECT
public:
    RenameSheet(AppModel& model, QWidget* parent);

    BoxedField* field() const { return field_; }
    static constexpr int sheetWidth = 420;

private:
    void rename();

    BoxedField* field_;
    SheetButton* rename_;
};

} // namespace oxel
