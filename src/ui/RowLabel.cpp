#include "ui/RowLabel.h"

#include "ui/Fonts.h"
#include "ui/Palette.h"

namespace oxel {

RowLabel::RowLabel(const QString& text, int width, double size, QWidget* parent)
    : TextLabel(text, uiFont(size, FontWeight::light), Palette::ink(0.8), parent)
{
    setFixedWidth(width);
}

} // namespace oxel
