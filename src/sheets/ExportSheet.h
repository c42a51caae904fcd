#pragma once

#include "export/ExportOptions.h"
#include "sheets/ExportPreferences.h"
#include "sheets/ExportSheetState.h"
#include "sheets/ModelSheet.h"

#include <filesystem>
#include <vector>

class QSlider;
class QTimer;

namespace oxel {

class BoxChoice;
class BoxMultiChoice;
class BoxSwitch;
class DigitsLabel;
class FolderPanelPort;
class SheetButton;
class TextLabel;

// How the developed pictures of the batch are written: the formats and the settings they use,
// each stored the moment it changes. "export …" asks for a folder; once one is chosen the sheet
// closes and the model exports every result once a format. A cancelled folder panel leaves the
// sheet as it was.
class ExportSheet : public ModelSheet {
    Q_OBJECT
public:
    ExportSheet(AppModel& model, FolderPanelPort& folderPanel, QWidget* parent);

    const ExportSheetState& state() const { return state_; }
    static constexpr int sheetWidth = 520;

    void setVisible(bool visible) override;

private:
    QWidget* buildSettings();
    void refresh();
    void chooseFolder();
    void exportInto(const std::filesystem::path& folder);
    bool settleMention() const;

    ExportPreferences preferences_;
    FolderPanelPort& folderPanel_;
    ExportSheetState state_;
    bool mentionCompare_ = false;

    TextLabel* mention_ = nullptr;
    TextLabel* formatsHeading_ = nullptr;
    BoxMultiChoice* formats_ = nullptr;
    QWidget* tiffLayers_ = nullptr;
    BoxSwitch* tiffLayersBox_ = nullptr;
    QWidget* colour_ = nullptr;
    BoxChoice* colourChoice_ = nullptr;
    QWidget* sixteenBit_ = nullptr;
    BoxSwitch* sixteenBitBox_ = nullptr;
    QWidget* quality_ = nullptr;
    QSlider* qualitySlider_ = nullptr;
    QTimer* qualityRest_ = nullptr;
    DigitsLabel* qualityValue_ = nullptr;
    BoxSwitch* inheritDateBox_ = nullptr;
    BoxSwitch* grainBox_ = nullptr;
    std::vector<TextLabel*> notes_;
    TextLabel* destination_ = nullptr;
    SheetButton* exportButton_ = nullptr;
};

} // namespace oxel
