#include "sheets/ExportSheet.h"

#include "sheets/FolderPanelPort.h"
#include "sheets/SheetParts.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/BoxMultiChoice.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/DigitsLabel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

namespace oxel {
namespace {

constexpr int qualitySteps = 1000; // the slider's positions per unit of quality, close to continuous
// A quality moved by keys or the wheel is written once it has rested this long.
constexpr int qualityRestMilliseconds = 400;

const std::array<std::string_view, 2> colourValues{"embedded", "sRGB"};

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

// Each format's word, in list order; a format that always holds layers says so.
QStringList formatLabels()
{
    QStringList labels;
    for (ExportFormat format : allExportFormats) {
        std::string label(rawValue(format));
        if (layersOf(format) == FormatLayers::always) label += " · layered";
        labels.push_back(qt(label));
    }
    return labels;
}

std::set<int> indicesOf(const std::set<std::string>& rawValues)
{
    std::set<int> indices;
    for (size_t index = 0; index < allExportFormats.size(); ++index)
        if (rawValues.contains(std::string(rawValue(allExportFormats[index])))) indices.insert(int(index));
    return indices;
}

std::set<std::string> rawValuesOf(const std::set<int>& indices)
{
    std::set<std::string> rawValues;
    for (int index : indices) rawValues.insert(std::string(rawValue(allExportFormats.at(size_t(index)))));
    return rawValues;
}

std::optional<int> colourIndex(const std::string& raw)
{
    for (size_t index = 0; index < colourValues.size(); ++index)
        if (colourValues[index] == raw) return int(index);
    return std::nullopt;
}

} // namespace

ExportSheet::ExportSheet(AppModel& model, FolderPanelPort& folderPanel, QWidget* parent)
    : ModelSheet(model, qt(exportTitle(int(model.itemsWithResult().size()))), parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showExport, &AppModel::showExport, &AppModel::setShowExport)),
      preferences_(model.settings().store()),
      folderPanel_(folderPanel)
{
    auto* cancel = sheet::button("cancel", false);
    exportButton_ = sheet::button({}, true);
    connect(cancel, &SheetButton::clicked, this, &QDialog::reject);
    connect(exportButton_, &SheetButton::clicked, this, &ExportSheet::chooseFolder);
    place(buildSettings(), {cancel}, {exportButton_});
    setDefaultButton(exportButton_);
    follow({AppModel::Field::items}, {BatchItem::Field::result}, [this] { refresh(); });
    refresh();
}

QWidget* ExportSheet::buildSettings()
{
    auto* stack = sheet::column(14);
    mention_ = sheet::text("worth a look first: hold space on the sheet to see each original under its result.", 12,
                           Palette::ink(0.8), true);
    stack->addWidget(mention_);

    formats_ = new BoxMultiChoice(formatLabels());
    auto* formatsSection = sheet::headed({}, formats_);
    formatsHeading_ = static_cast<TextLabel*>(formatsSection->itemAt(0)->widget());
    stack->addWidget(sheet::holding(formatsSection));
    connect(formats_, &BoxMultiChoice::selectionChanged, this, [this](const std::set<int>& indices) {
        preferences_.setFormats(rawValuesOf(indices));
        refresh();
    });

    auto tiffRow = sheet::switchRow("keep the layers inside the tiff");
    tiffLayers_ = tiffRow.row;
    tiffLayersBox_ = tiffRow.box;
    stack->addWidget(tiffLayers_);
    connect(tiffLayersBox_, &BoxSwitch::clicked, this, [this](bool on) {
        preferences_.setTiffLayered(on);
        refresh();
    });

    colourChoice_ = new BoxChoice({"the original's profile", "sRGB"});
    colour_ = sheet::holding(sheet::headed("colour", colourChoice_));
    stack->addWidget(colour_);
    connect(colourChoice_, &BoxChoice::selectionChanged, this, [this](int index) {
        preferences_.setColourRaw(colourValues.at(size_t(index)));
        refresh();
    });

    auto sixteenRow = sheet::switchRow("16-bit");
    sixteenBit_ = sixteenRow.row;
    sixteenBitBox_ = sixteenRow.box;
    stack->addWidget(sixteenBit_);
    connect(sixteenBitBox_, &BoxSwitch::clicked, this, [this](bool on) { preferences_.setSixteenBit(on); });

    qualitySlider_ = new QSlider(Qt::Horizontal);
    qualitySlider_->setAccessibleName(QStringLiteral("quality"));
    qualitySlider_->setRange(int(ExportPreferences::lowestQuality * qualitySteps),
                             int(ExportPreferences::highestQuality * qualitySteps));
    qualityValue_ = new DigitsLabel({}, uiFont(12), Palette::ink(0.8));
    auto* qualityLine = sheet::row(10);
    qualityLine->addWidget(qualitySlider_, 1, Qt::AlignVCenter);
    qualityLine->addWidget(qualityValue_, 0, Qt::AlignVCenter);
    quality_ = sheet::holding(sheet::headed("quality", sheet::holding(qualityLine)));
    stack->addWidget(quality_);
    // A drag moves the value hundreds of times: each is read at once, and the file is written
    // when the slider rests, is let go, or the sheet closes.
    qualityRest_ = new QTimer(this);
    qualityRest_->setSingleShot(true);
    qualityRest_->setInterval(qualityRestMilliseconds);
    connect(qualityRest_, &QTimer::timeout, this, [this] { preferences_.flush(); });
    connect(qualitySlider_, &QSlider::valueChanged, this, [this](int value) {
        preferences_.holdJpegQuality(double(value) / qualitySteps);
        qualityValue_->setText(formatValue(preferences_.jpegQuality()));
        if (!qualitySlider_->isSliderDown()) qualityRest_->start();
    });
    connect(qualitySlider_, &QSlider::sliderReleased, this, [this] {
        qualityRest_->stop();
        preferences_.flush();
    });
    connect(this, &QDialog::finished, this, [this] { preferences_.flush(); });

    auto dateRow = sheet::switchRow("give the file the original's capture date");
    inheritDateBox_ = dateRow.box;
    stack->addWidget(dateRow.row);
    connect(inheritDateBox_, &BoxSwitch::clicked, this, [this](bool on) { preferences_.setInheritDate(on); });

    auto grainRow = sheet::switchRow("film grain");
    grainBox_ = grainRow.box;
    stack->addWidget(grainRow.row);
    connect(grainBox_, &BoxSwitch::clicked, this, [this](bool on) { model().setGrainEnabled(on); });

    auto* notes = sheet::column(6);
    for (size_t index = 0; index < allExportFormats.size(); ++index) {
        notes_.push_back(sheet::text({}, 11, Palette::pencil(), true));
        notes->addWidget(notes_.back());
    }
    destination_ = sheet::text({}, 11, Palette::pencil(), true);
    notes->addWidget(destination_);
    stack->addWidget(sheet::holding(notes));
    return sheet::holding(stack);
}

bool ExportSheet::settleMention() const
{
    const CompareCoach& coach = model().compareCoach();
    return shouldMentionCompare(coach.comparedThisBatch(), coach.compareLastUsed(), std::chrono::system_clock::now());
}

// The mention is settled before the sheet is laid out and placed over its window: a sheet that
// grows once shown stays where its smaller self was placed, and a window manager that sees it
// resized while it maps it may put it in the screen's corner.
void ExportSheet::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        mentionCompare_ = settleMention();
        refresh();
    }
    ModelSheet::setVisible(visible);
}

void ExportSheet::refresh()
{
    const auto formats = preferences_.formats();
    state_ =
        exportSheetState(formats, preferences_.tiffLayered(), int(model().itemsWithResult().size()), mentionCompare_);
    setTitle(qt(state_.title));
    mention_->setVisible(state_.mentionCompare);
    formatsHeading_->setText(qt(state_.formatsHeading));
    formats_->setSelection(indicesOf(state_.selection));
    tiffLayers_->setVisible(state_.tiffLayersSwitch);
    tiffLayersBox_->setOn(preferences_.tiffLayered());
    colour_->setVisible(state_.colourChoice);
    colourChoice_->setSelection(colourIndex(preferences_.colourRaw()));
    sixteenBit_->setVisible(state_.sixteenBitSwitch);
    sixteenBitBox_->setOn(preferences_.sixteenBit());
    quality_->setVisible(state_.qualityRow);
    {
        const QSignalBlocker quiet(qualitySlider_);
        qualitySlider_->setValue(int(std::lround(preferences_.jpegQuality() * qualitySteps)));
    }
    qualityValue_->setText(formatValue(preferences_.jpegQuality()));
    inheritDateBox_->setOn(preferences_.inheritDate());
    grainBox_->setOn(model().grainEnabled());
    for (size_t index = 0; index < notes_.size(); ++index) {
        const bool shown = index < state_.notes.size();
        notes_[index]->setVisible(shown);
        if (shown) notes_[index]->setText(qt(state_.notes[index]));
    }
    destination_->setVisible(state_.destination.has_value());
    destination_->setText(qt(state_.destination.value_or("")));
    exportButton_->setLabel(qt(state_.exportButton));
}

void ExportSheet::chooseFolder()
{
    QPointer<ExportSheet> alive(this);
    folderPanel_.chooseFolder(state_.panelMessage, std::string(ExportSheetState::panelPrompt),
                              exportPanelFolder(preferences_.lastFolder()),
                              [alive](std::optional<std::filesystem::path> folder) {
                                  if (alive && folder && !folder->empty()) alive->exportInto(*folder);
                              });
}

void ExportSheet::exportInto(const std::filesystem::path& folder)
{
    const auto options = preferences_.options();
    preferences_.setLastFolder(folder);
    closeThen([this, options, folder] { model().exportTo(options, folder); });
}

} // namespace oxel
