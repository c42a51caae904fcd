#include "ui/window/BatchSliderBand.h"

#include "model/AppModel.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StopLabels.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/BandHeader.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

namespace {

constexpr int trackInset = 2;

QString helpOf(BatchSlider slider)
{
    return slider == BatchSlider::light
               ? "moves every image. an image you have set keeps its offset."
               : "the house's colour over every image. an image you have set keeps its offset.";
}

} // namespace

BatchSliderBand::BatchSliderBand(AppModel& model, BatchSlider slider, QWidget* parent)
    : QWidget(parent),
      model_(model),
      slider_(slider),
      value_(new SliderValue(14, FontWeight::light, this)),
      track_(new StrengthTrack(this)),
      watch_(*this, model, [this] { refresh(); })
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);

    BandHeader header(slider == BatchSlider::light ? "light" : "colour", helpOf(slider), this);
    header_ = header.row;
    header.help->setToolTip(helpOf(slider));
    header_->addSpacing(8);
    header_->addStretch(1);
    header_->addWidget(value_, 0, Qt::AlignBottom);
    // Both bands' headers are as tall as the look choice, so their tracks lie on one line whether
    // the colour band shows the choice or not.
    auto* headerRow = new QWidget(this);
    headerRow->setFixedHeight(BoxChoice({"its pick"}).sizeHint().height());
    headerRow->setLayout(header_);
    stack->addWidget(headerRow);

    track_->setTicks({0, 0.5, 1});
    track_->setResetValue(1.0);
    connect(track_, &StrengthTrack::valueChanged, this,
            [this](double value) { setBatchValue(model_, slider_, value); });
    // The track and its stop names share one inset, so the names stand under their ticks.
    auto* inset = new QVBoxLayout;
    inset->setContentsMargins(trackInset, 0, trackInset, 0);
    inset->setSpacing(4);
    inset->addWidget(track_);
    inset->addWidget(new StopLabels(slider == BatchSlider::light ? StopLabels::light() : StopLabels::colour(), this));
    stack->addLayout(inset);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    using Field = AppModel::Field;
    watch_.model({slider == BatchSlider::light ? Field::globalStrength : Field::globalColour, Field::items,
                  Field::config, Field::alternativesOn});
}

BatchSliderBand::~BatchSliderBand() = default;

int BatchSliderBand::valuePosition() const
{
    return header_->indexOf(value_);
}

void BatchSliderBand::refresh()
{
    const double value = batchValue(model_, slider_);
    track_->setValue(value);
    value_->setValue(value);
}

} // namespace oxel
