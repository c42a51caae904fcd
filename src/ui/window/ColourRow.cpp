#include "ui/window/ColourRow.h"

#include "library/BatchItem.h"
#include "model/AppModel.h"
#include "ui/kit/SliderRow.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/LookPicker.h"

#include <QEvent>
#include <QVBoxLayout>

namespace oxel {

ColourRow::ColourRow(AppModel& model, std::shared_ptr<BatchItem> item, Sizes sizes, QWidget* parent)
    : QWidget(parent),
      model_(model),
      item_(std::move(item)),
      trackRow_(new SliderRow("colour", {sizes.labelWidth, 11, sizes.valueWidth, sizes.valueSize}, this)),
      lookPicker_(new LookPicker(model, item_, sizes.thumbHeight, this)),
      watch_(*this, model, [this] { refresh(); })
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(trackRow_);
    // The thumbnails start under the track.
    lookPicker_->setContentsMargins(sizes.labelWidth + SliderRow::spacing, 0, 0, 0);
    stack->addWidget(lookPicker_);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    StrengthTrack* track = trackRow_->track();
    track->installEventFilter(this);
    connect(track, &StrengthTrack::valueChanged, this, [this](double value) { model_.setColour(value, item_); });
    using Field = BatchItem::Field;
    watch_.model({AppModel::Field::globalColour})
        .item(item_, {Field::colourOffset, Field::colourTouched, Field::result, Field::useAlternative});
    refresh();
}

ColourRow::~ColourRow() = default;

void ColourRow::refresh()
{
    trackRow_->showValue(model_.colour(*item_), item_->colourTouched());
    lookPicker_->refresh();
    lookPicker_->setVisible(lookPicker_->lookCount() >= 2);
}

bool ColourRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == trackRow_->track() && event->type() == QEvent::MouseButtonDblClick) {
        // The image follows the batch colour again.
        model_.resetColour(item_);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace oxel
