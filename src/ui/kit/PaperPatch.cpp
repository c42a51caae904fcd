#include "ui/kit/PaperPatch.h"

#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

PaperPatch::PaperPatch(QWidget* content, int horizontalPadding, QWidget* parent) : QWidget(parent), content_(content)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, 0, horizontalPadding, 0);
    layout->addWidget(content);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PaperPatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
}

QWidget* centredLines(const QString& text, const QFont& font, double inkOpacity, int lineSpacing)
{
    auto* lines = new QWidget;
    auto* layout = new QVBoxLayout(lines);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(lineSpacing);
    for (const QString& line : text.split(u'\n')) {
        auto* label = new TextLabel(line, font, Palette::ink(inkOpacity));
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label, 0, Qt::AlignHCenter);
    }
    return lines;
}

} // namespace oxel
