#include "ui/kit/BoxedField.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QEvent>
#include <QLineEdit>

namespace oxel {

BoxedField::BoxedField(const QString& placeholder, double fontSize, QMargins padding, QWidget* parent)
    : InkFrame(InkBox{false, true, 0.9, true}, parent), editor_(new QLineEdit(this))
{
    editor_->setFrame(false);
    editor_->setFont(uiFont(fontSize));
    editor_->setPlaceholderText(placeholder);
    editor_->setAccessibleName(placeholder);
    editor_->setTextMargins(0, 0, 0, 0);
    setContent(editor_, padding);
    applyColours();
}

void BoxedField::applyColours()
{
    const Appearance appearance = appearanceOf(*this);
    QPalette palette = editor_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Palette::ink(0.92).resolve(appearance));
    palette.setColor(QPalette::PlaceholderText, Palette::ink(0.3).resolve(appearance));
    editor_->setPalette(palette);
}

void BoxedField::changeEvent(QEvent* event)
{
    InkFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) applyColours();
}

} // namespace oxel
