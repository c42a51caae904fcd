#include "ui/kit/SliderRow.h"

#include "ui/kit/RowLabel.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StrengthTrack.h"

#include <QHBoxLayout>

namespace oxel {

SliderRow::SliderRow(const QString& name, Sizes sizes, QWidget* parent)
    : QWidget(parent),
      name_(new RowLabel(name, sizes.labelWidth, sizes.labelSize, this)),
      track_(new StrengthTrack(this)),
      value_(new SliderValue(sizes.valueSize, FontWeight::light, this))
{
    setFixedHeight(rowHeight);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    track_->setTicks({0, 0.5, 1});
    value_->setFixedWidth(sizes.valueWidth);
    row->addWidget(name_, 0, Qt::AlignVCenter);
    row->addWidget(track_, 1);
    row->addWidget(value_, 0, Qt::AlignVCenter);
}

void SliderRow::showValue(double value, bool setByHand)
{
    track_->setValue(value);
    value_->setValue(value);
    value_->setWeight(setByHand ? FontWeight::regular : FontWeight::light);
}

} // namespace oxel
