#include "ui/kit/RowLabel.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

namespace oxel {

RowLabel::RowLabel(const QString& text, int width, double size, QWidget* parent)
    : TextLabel(text, uiFont(size, FontWeight::light), Palette::ink(0.8), parent)
{
    setFixedWidth(width);
}

} // namespace oxel
