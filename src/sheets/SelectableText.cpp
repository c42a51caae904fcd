#include "sheets/SelectableText.h"

#include "ui/kit/Fonts.h"

#include <QEvent>

namespace oxel {

SelectableText::SelectableText(const QString& text, double size, DynamicColour colour, QWidget* parent)
    : QLabel(text, parent), colour_(std::move(colour))
{
    setFont(uiFont(size));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setCursor(Qt::IBeamCursor);
    applyColour();
}

void SelectableText::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) applyColour();
}

void SelectableText::applyColour()
{
    const QColor colour = colour_.resolve(appearanceOf(*this));
    QPalette palette = this->palette();
    if (palette.color(QPalette::WindowText) == colour) return;
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
}

} // namespace oxel
