#include "ui/window/LightboxView.h"

#include "library/BatchItem.h"
#include "model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PictureCorners.h"
#include "ui/kit/PixelImage.h"
#include "ui/kit/RowLabel.h"
#include "ui/kit/SliderRow.h"
#include "ui/kit/StopLabels.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/ColourRow.h"
#include "ui/window/LightboxRules.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <utility>

namespace oxel {

namespace {

constexpr int topRowHeight = 22;
constexpr int columnSpacing = 56;
constexpr int labelWidth = 54;
constexpr int valueWidth = 44;
constexpr SliderRow::Sizes lightSizes{labelWidth, 12, valueWidth, 14};

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

// A clear strip 1 high that still takes its share of the row's width.
QWidget* clearStrip(QWidget* parent)
{
    auto* strip = new QWidget(parent);
    strip->setFixedHeight(1);
    return strip;
}

} // namespace

// The lightbox corner marks over the picture's frame; clicks pass through to the picture.
class LightboxView::Corners : public QWidget {
public:
    explicit Corners(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawLightboxCorners(painter, size(), appearanceOf(*this));
    }
};

LightboxView::LightboxView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), stack_(new QVBoxLayout(this)), watch_(*this, model, [this] { refresh(); })
{
    stack_->setContentsMargins(24, 16, 24, 14);
    stack_->setSpacing(10);
    stack_->addWidget(buildTopRow());
    stack_->addWidget(buildPictureArea(), 1);
    note_ = new TextLabel({}, uiFont(11), Palette::pencil(), this);
    note_->setWrapping(2);
    stack_->addWidget(note_);
    backdrop_.insert(this);

    using Field = AppModel::Field;
    watch_.model({Field::globalStrength, Field::globalColour, Field::config}).items({BatchItem::Field::result});
    refresh();
}

LightboxView::~LightboxView() = default;

QWidget* LightboxView::buildTopRow()
{
    auto* row = new QWidget(this);
    row->setFixedHeight(topRowHeight);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    fileName_ = new TextLabel({}, uiFont(12, FontWeight::light), Palette::ink(0.85), row);
    info_ = new TextLabel({}, uiFont(11, FontWeight::light), Palette::pencil(), row);
    hint_ = new TextLabel({}, uiFont(11, FontWeight::light), Palette::pencil(), row);
    close_ = new InkBoxLabel("close", {3, 10, 0.85, 0.9, 0, 11, true}, row);
    connect(close_, &QAbstractButton::clicked, this, &LightboxView::close);
    line->addWidget(fileName_);
    line->addWidget(info_);
    line->addStretch(1);
    line->addWidget(hint_);
    line->addWidget(close_, 0, Qt::AlignVCenter);
    backdrop_.insert(row);
    return row;
}

QWidget* LightboxView::buildPictureArea()
{
    pictureArea_ = new QWidget(this);
    pictureArea_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* layers = new QGridLayout(pictureArea_);
    layers->setContentsMargins(0, 0, 0, 0);
    // The developed picture and the original each keep their own scaled copy, so holding space
    // swaps two ready pictures instead of scaling one again.
    developed_ = new PixelImage(pictureArea_);
    original_ = new PixelImage(pictureArea_);
    corners_ = new Corners(pictureArea_);
    for (QWidget* layer :
         {static_cast<QWidget*>(developed_), static_cast<QWidget*>(original_), static_cast<QWidget*>(corners_)}) {
        layer->setAttribute(Qt::WA_TransparentForMouseEvents);
        layers->addWidget(layer, 0, 0);
    }
    corners_->raise();
    backdrop_.insert(pictureArea_);
    return pictureArea_;
}

void LightboxView::setItem(std::shared_ptr<BatchItem> item)
{
    if (item == item_) return;
    item_ = std::move(item);
    watch_.item(item_, ModelWatch::ItemFields::every());
    refresh();
}

void LightboxView::setComparing(bool comparing)
{
    if (comparing == comparing_) return;
    comparing_ = comparing;
    refreshPictures();
    if (item_) hint_->setText(qt(lightbox::hint(*item_, comparing_)));
}

PixelImage* LightboxView::shownPicture() const
{
    return comparing_ ? original_ : developed_;
}

void LightboxView::refresh()
{
    if (!item_) {
        developed_->setPicture(Bitmap());
        original_->setPicture(Bitmap());
        return;
    }
    fileName_->setText(QString::fromStdString(item_->url().filename().string()));
    info_->setText(qt(lightbox::infoLine(*item_)));
    hint_->setText(qt(lightbox::hint(*item_, comparing_)));
    const auto& note = item_->note();
    note_->setText(note ? qt(*note) : QString());
    note_->setVisible(note.has_value());
    refreshPictures();
    refreshAdjustments();
}

void LightboxView::refreshPictures()
{
    for (PixelImage* slot : {developed_, original_}) {
        const bool forComparing = slot == original_;
        const auto handle =
            item_ ? lightbox::pictureHandle(*item_, lightbox::chosenPicture(*item_, forComparing)) : std::nullopt;
        const auto bitmap = handle ? handle->bitmap() : std::nullopt;
        slot->setPicture(bitmap.value_or(Bitmap()));
    }
    developed_->setVisible(!comparing_);
    original_->setVisible(comparing_);
}

void LightboxView::refreshAdjustments()
{
    const bool showsColour = lightbox::colourRowShown(model_.config().suggestedGradeEnabled, model_.items(), *item_);
    if (adjustmentsFor_ != item_->result().get() || colourRowShown_ != showsColour || !item_->result() != !adjustments_)
        rebuildAdjustments();
    if (!lightRow_) return;
    lightRow_->track()->setTrackEnabled(lightbox::lightTrackEnabled(*item_));
    lightRow_->showValue(model_.strength(*item_), item_->strengthTouched());
}

void LightboxView::rebuildAdjustments()
{
    // Cleared first: the rows' tracks still send events to this view's filter while they go.
    lightRow_ = nullptr;
    colourRow_ = nullptr;
    if (QWidget* old = std::exchange(adjustments_, nullptr)) {
        // Nothing of it stays a backdrop, for a later widget to be taken for one by its address.
        std::erase_if(backdrop_, [old](const QWidget* widget) { return widget == old || old->isAncestorOf(widget); });
        delete old;
    }
    adjustmentsFor_ = item_->result().get();
    colourRowShown_ = lightbox::colourRowShown(model_.config().suggestedGradeEnabled, model_.items(), *item_);
    if (!item_->result()) return;
    adjustments_ = new QWidget(this);
    auto* row = new QHBoxLayout(adjustments_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(columnSpacing);
    // Both columns start with a track row 22 high at their top, so the two tracks share one line.
    row->addWidget(buildLightColumn(), 1, Qt::AlignTop);
    row->addWidget(buildColourColumn(), 1, Qt::AlignTop);
    backdrop_.insert(adjustments_);
    stack_->insertWidget(2, adjustments_);
}

QWidget* LightboxView::buildLightColumn()
{
    auto* column = new QWidget(adjustments_);
    column->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);
    backdrop_.insert(column);
    if (item_->result()->colourOnly) {
        auto* row = new QWidget(column);
        row->setFixedHeight(SliderRow::rowHeight);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(SliderRow::spacing);
        line->addWidget(new RowLabel("light", labelWidth, 12, row));
        line->addWidget(
            new TextLabel(lightbox::colourOnlyLight, uiFont(12, FontWeight::light), Palette::pencil(), row));
        line->addStretch(1);
        stack->addWidget(row);
        backdrop_.insert(row);
        return column;
    }
    lightRow_ = new SliderRow("light", lightSizes, column);
    lightRow_->track()->installEventFilter(this);
    connect(lightRow_->track(), &StrengthTrack::valueChanged, this,
            [this](double value) { model_.setStrength(value, item_); });
    stack->addWidget(lightRow_);
    // The stop names span exactly the track: the label and its gap on the left, the value and
    // its gap on the right.
    auto* stops = new QHBoxLayout;
    stops->setContentsMargins(labelWidth + SliderRow::spacing, 0, valueWidth + SliderRow::spacing, 0);
    stops->addWidget(new StopLabels(StopLabels::light(), column));
    stack->addLayout(stops);
    return column;
}

QWidget* LightboxView::buildColourColumn()
{
    if (!colourRowShown_) {
        QWidget* strip = clearStrip(adjustments_);
        strip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        backdrop_.insert(strip);
        return strip;
    }
    colourRow_ = new ColourRow(model_, item_, ColourRow::Sizes::lightbox(), adjustments_);
    return colourRow_;
}

bool LightboxView::eventFilter(QObject* watched, QEvent* event)
{
    // A track that cannot be moved ignores double clicks as well.
    if (lightRow_ && watched == lightRow_->track() && event->type() == QEvent::MouseButtonDblClick &&
        lightRow_->track()->trackEnabled()) {
        // The picture follows the batch light again.
        model_.resetStrength(item_);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void LightboxView::close()
{
    model_.setLightbox(nullptr);
}

void LightboxView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QWidget* hit = childAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && backdrop_.contains(hit ? hit : this)) {
        close();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void LightboxView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(backdropOpacity);
    painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
}

} // namespace oxel
