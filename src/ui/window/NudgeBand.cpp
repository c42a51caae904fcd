#include "ui/window/NudgeBand.h"

#include "model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SliderRow.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/BandHeader.h"
#include "ui/window/BandRules.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace oxel {

namespace {

constexpr int editorMinHeight = 44;
constexpr int editorMaxHeight = 76;
constexpr int colourOnlyMinHeight = 66;
constexpr SliderRow::Sizes bandSliderSizes{40, 11, 34, 12};

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

NudgeBand::NudgeBand(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), placeholderTimer_(new QTimer(this)), watch_(*this, model, [this] { refresh(); })
{
    auto* band = new QVBoxLayout(this);
    band->setContentsMargins(14, 12, 14, 8);
    band->setSpacing(0);
    nudgeContent_ = buildNudgeContent();
    colourOnlyHeader_ = buildColourOnlyHeader();
    band->addWidget(nudgeContent_);
    band->addWidget(colourOnlyHeader_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    placeholderTimer_->setInterval(placeholderSeconds * 1000);
    connect(placeholderTimer_, &QTimer::timeout, this, &NudgeBand::tick);
    using Field = AppModel::Field;
    watch_.model({Field::globalNudge, Field::globalStrength, Field::globalColour, Field::nudgePlaceholders,
                  Field::colourOnlyOn, Field::colourOnlyModelReady, Field::resetSettingsEachBatch});
    refresh();
}

NudgeBand::~NudgeBand() = default;

QWidget* NudgeBand::buildNudgeContent()
{
    auto* content = new QWidget(this);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);

    BandHeader nudgeHeader("nudge", {}, content);
    help_ = nudgeHeader.help;
    QHBoxLayout* header = nudgeHeader.row;
    header->addSpacing(8);
    header->addStretch(1);
    reset_ = new LinkButton("reset", content);
    reset_->setToolTip("the nudge, light and colour back to oxel pro's own, for this batch and every one after");
    connect(reset_, &QAbstractButton::clicked, this, [this] { model_.resetStanding(); });
    header->addWidget(reset_, 0, Qt::AlignBottom);
    stack->addLayout(header);

    editor_ = new NudgeEditor({}, false, editorMinHeight, editorMaxHeight, content);
    connect(editor_, &NudgeEditor::textChanged, this,
            [this](const QString& text) { model_.setGlobalNudge(text.toStdString()); });
    stack->addWidget(editor_);

    sliders_ = new QWidget(content);
    auto* pair = new QHBoxLayout(sliders_);
    pair->setContentsMargins(0, 4, 0, 0);
    pair->setSpacing(56);
    light_ = buildSliderRow(BatchSlider::light, sliders_);
    colour_ = buildSliderRow(BatchSlider::colour, sliders_);
    pair->addWidget(light_, 1);
    pair->addWidget(colour_, 1);
    stack->addWidget(sliders_);
    return content;
}

SliderRow* NudgeBand::buildSliderRow(BatchSlider slider, QWidget* parent)
{
    auto* row = new SliderRow(slider == BatchSlider::light ? "light" : "colour", bandSliderSizes, parent);
    row->track()->setResetValue(1.0);
    connect(row->track(), &StrengthTrack::valueChanged, this,
            [this, slider](double value) { setBatchValue(model_, slider, value); });
    return row;
}

QWidget* NudgeBand::buildColourOnlyHeader()
{
    auto* content = new QWidget(this);
    content->setMinimumHeight(colourOnlyMinHeight);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    BandHeader header("colour only",
                      "the on-device model reads each picture on this computer and the house grades it. no nudge, "
                      "nothing uploaded, no shots.",
                      content);
    header.row->addStretch(1);
    stack->addLayout(header.row);
    stack->addStretch(1);
    return content;
}

bool NudgeBand::showsColourOnlyHeader() const
{
    return !colourOnlyHeader_->isHidden();
}

void NudgeBand::refresh()
{
    const bool colourOnly = model_.colourOnlyInForce();
    nudgeContent_->setVisible(!colourOnly);
    colourOnlyHeader_->setVisible(colourOnly);

    const bool resetEachBatch = model_.resetSettingsEachBatch();
    help_->setText(qt(bands::nudgeHelp(resetEachBatch)));
    reset_->setVisible(bands::resetShown(resetEachBatch, model_.hasStandingChanges()));
    const QString nudge = qt(model_.globalNudge());
    if (editor_->text() != nudge) editor_->setText(nudge);
    editor_->setPlaceholder(
        qt(bands::placeholderAt(bands::placeholders(model_.nudgePlaceholders()), placeholderIndex_)));
    sliders_->setVisible(!resetEachBatch);
    light_->showValue(model_.globalStrength(), false);
    colour_->showValue(model_.globalColour(), false);
}

void NudgeBand::tick()
{
    // The clock is not heard while colour only is in force.
    if (model_.colourOnlyInForce()) return;
    const auto& examples = bands::placeholders(model_.nudgePlaceholders());
    placeholderIndex_ = bands::nextPlaceholderIndex(placeholderIndex_, model_.globalNudge(), examples.size());
    editor_->setPlaceholder(qt(bands::placeholderAt(examples, placeholderIndex_)));
}

void NudgeBand::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again for another input screen, the examples start from the first; a window coming
    // back from the task bar is the same showing.
    if (!event->spontaneous()) placeholderIndex_ = 0;
    refresh();
    placeholderTimer_->start();
}

void NudgeBand::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    placeholderTimer_->stop();
}

} // namespace oxel
