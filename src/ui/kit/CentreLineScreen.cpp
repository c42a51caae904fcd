#include "ui/kit/CentreLineScreen.h"

#include "ui/kit/WorkingSheetCentreLine.h"

#include <QVBoxLayout>

namespace oxel {

CentreLineScreen::CentreLineScreen(int spacing, QWidget* parent)
    : QWidget(parent), centreLine_(new WorkingSheetCentreLine(this))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addStretch(1);
    column_ = new QVBoxLayout;
    column_->setSpacing(spacing);
    outer->addLayout(column_);
    outer->addStretch(1);
    centreLine_->lower();
}

void CentreLineScreen::resizeEvent(QResizeEvent* event)
{
    centreLine_->setGeometry(rect());
    QWidget::resizeEvent(event);
}

} // namespace oxel
