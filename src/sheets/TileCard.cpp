#include "sheets/TileCard.h"

#include "ui/kit/Appearance.h"
#include "ui/kit/Palette.h"

#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

TileCard::TileCard(int padding, int spacing, QWidget* parent, double opacity)
    : QWidget(parent), content_(new QVBoxLayout(this)), opacity_(opacity)
{
    content_->setContentsMargins(padding, padding, padding, padding);
    content_->setSpacing(spacing);
    content_->setAlignment(Qt::AlignCenter);
    // The tile sizes the card to fit its picture; a long text is cut rather than stretching it.
    content_->setSizeConstraint(QLayout::SetNoConstraint);
}

void TileCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(opacity_);
    painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
}

} // namespace oxel
