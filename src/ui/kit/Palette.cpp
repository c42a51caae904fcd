#include "ui/kit/Palette.h"

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

DynamicColour twoVariants(QRgb light, QRgb dark)
{
    return {QColor(light), QColor(dark)};
}

} // namespace

const DynamicColour& Palette::paper()
{
    static const DynamicColour colour = twoVariants(qRgb(242, 241, 237), qRgb(14, 14, 13));
    return colour;
}

const DynamicColour& Palette::ink()
{
    static const DynamicColour colour = twoVariants(qRgb(27, 26, 24), qRgb(237, 234, 224));
    return colour;
}

DynamicColour Palette::ink(double opacity)
{
    DynamicColour colour = ink();
    const double alpha = std::isnan(opacity) ? 0.0 : std::clamp(opacity, 0.0, 1.0);
    colour.light.setAlphaF(float(alpha));
    colour.dark.setAlphaF(float(alpha));
    return colour;
}

const DynamicColour& Palette::onInk()
{
    static const DynamicColour colour = twoVariants(qRgb(242, 241, 237), qRgb(14, 14, 13));
    return colour;
}

const DynamicColour& Palette::pencil()
{
    static const DynamicColour colour = twoVariants(qRgb(185, 181, 170), qRgb(76, 74, 70));
    return colour;
}

const DynamicColour& Palette::accent()
{
    static const DynamicColour colour = twoVariants(qRgb(194, 59, 43), qRgb(194, 59, 43));
    return colour;
}

} // namespace oxel
