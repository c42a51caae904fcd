#include "ui/window/ResultsBand.h"

#include "model/AppModel.h"
#include "ui/kit/LinkButton.h"
#include "ui/window/BandRules.h"
#include "ui/window/ColourBand.h"
#include "ui/window/StrengthBand.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

namespace {

constexpr int offerTopPadding = 2;

// A column of the band: its content at the top, or a clear strip 1 high that still takes half the
// width.
QWidget* columnHolding(QWidget* parent, std::initializer_list<QWidget*> content)
{
    auto* holder = new QWidget(parent);
    holder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(holder);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (QWidget* widget : content) {
        widget->setParent(holder);
        stack->addWidget(widget);
    }
    stack->addStretch(1);
    return holder;
}

QWidget* clearStrip()
{
    auto* strip = new QWidget;
    strip->setFixedHeight(1);
    strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return strip;
}

} // namespace

ResultsBand::ResultsBand(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      columns_(new QHBoxLayout(this)),
      strength_(new StrengthBand(model)),
      colour_(new ColourBand(model)),
      colourSpacer_(clearStrip()),
      lightOffer_(new LinkButton("want the light too? develop them with colour and light")),
      offerSpacer_(clearStrip()),
      watch_(*this, model, [this] { refresh(); })
{
    columns_->setContentsMargins(14, 12, 14, 8);
    columns_->setSpacing(56);
    lightColumn_ = columnHolding(this, {strength_});
    colourColumn_ = columnHolding(this, {colour_, colourSpacer_});
    offerColumn_ = columnHolding(this, {lightOffer_, offerSpacer_});
    static_cast<QVBoxLayout*>(offerColumn_->layout())->insertSpacing(0, offerTopPadding);
    connect(lightOffer_, &QAbstractButton::clicked, this, [this] { model_.developWithLight(model_.items()); });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    using Field = BatchItem::Field;
    watch_.model({AppModel::Field::config}).items({Field::result, Field::source, Field::phase});
    refresh();
}

ResultsBand::~ResultsBand() = default;

QWidget* ResultsBand::column(int index) const
{
    return columns_->itemAt(index)->widget();
}

void ResultsBand::refresh()
{
    const bool usesLight = model_.batchUsesLight();
    const auto& items = model_.items();
    const bool showsColour = bands::showsColourBand(model_.config().suggestedGradeEnabled, items);
    colour_->setVisible(showsColour);
    colourSpacer_->setVisible(!showsColour);
    const bool offer = bands::showsLightOffer(items, model_.inFlightCount());
    lightOffer_->setVisible(offer);
    offerSpacer_->setVisible(!offer);

    QWidget* left = usesLight ? lightColumn_ : colourColumn_;
    QWidget* right = usesLight ? colourColumn_ : offerColumn_;
    lightColumn_->setVisible(usesLight);
    offerColumn_->setVisible(!usesLight);
    if (columns_->count() != 2 || column(0) != left || column(1) != right) {
        for (QWidget* each : {lightColumn_, colourColumn_, offerColumn_}) columns_->removeWidget(each);
        columns_->addWidget(left, 1);
        columns_->addWidget(right, 1);
    }
    if (strength_->isVisibleTo(this)) strength_->refresh();
    if (colour_->isVisibleTo(this)) colour_->refresh();
}

} // namespace oxel
