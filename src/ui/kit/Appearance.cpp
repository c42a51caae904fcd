#include "ui/kit/Appearance.h"

#include <QPalette>
#include <QWidget>

namespace oxel {

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

Appearance appearanceOf(const QWidget& widget)
{
    return appearanceOf(widget.palette());
}

} // namespace oxel
