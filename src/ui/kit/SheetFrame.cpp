#include "ui/kit/SheetFrame.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"

#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

SheetFrame::SheetFrame(const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent),
      title_(new TextLabel(title, uiFont(15, FontWeight::light), Palette::ink(0.9), this)),
      content_(content)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 22, 22, 22);
    layout->setSpacing(16);
    layout->addWidget(title_);
    layout->addWidget(content_);
    setMinimumWidth(minimumWidth);
}

void SheetFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
}

} // namespace oxel
