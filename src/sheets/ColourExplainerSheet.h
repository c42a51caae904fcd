#pragma once

#include "sheets/ModelSheet.h"

namespace oxel {

class SheetButton;
class TextLabel;

// "two ways to develop": colour and light, which relights on the servers and spends a shot, beside
// colour only, graded on this computer. When the on-device model cannot run here it says why and
// offers only "got it", which then only acknowledges.
class ColourExplainerSheet : public ModelSheet {
    Q_OBJECT
public:
    ColourExplainerSheet(AppModel& model, QWidget* parent);

    static constexpr int sheetWidth = 440;

private:
    static QWidget* way(const QString& name, const QString& words);
    void refresh();

    TextLabel* reason_;
    SheetButton* notNow_;
};

} // namespace oxel
