#pragma once

#include "ui/kit/Appearance.h"
#include "ui/kit/Palette.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace oxel::pixels {

// `top` at `alpha` (times its own alpha) laid over an opaque `base`, as the painter blends.
inline QColor over(const QColor& base, const QColor& top, double alpha)
{
    const double a = alpha * top.alphaF();
    const auto mix = [a](int b, int t) { return int(std::lround(b + (t - b) * a)); };
    return QColor(mix(base.red(), top.red()), mix(base.green(), top.green()), mix(base.blue(), top.blue()));
}

inline QColor paper(Appearance appearance = Appearance::light)
{
    return Palette::paper().resolve(appearance);
}
inline QColor ink(Appearance appearance = Appearance::light)
{
    return Palette::ink().resolve(appearance);
}
inline QColor pencil(Appearance appearance = Appearance::light)
{
    return Palette::pencil().resolve(appearance);
}

// A picture of `size` on paper with whatever `paint` draws on it.
inline QImage onPaper(QSize size, Appearance appearance, const std::function<void(QPainter&)>& paint)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(paper(appearance));
    QPainter painter(&image);
    paint(painter);
    return image;
}

// The widget rendered on paper in the application's (light) look.
inline QImage grabbed(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(paper(appearanceOf(widget)));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Antialiased coverage is quantised, so a pixel may be off by a step or two.
inline ::testing::AssertionResult pixelIs(const QImage& image, int x, int y, const QColor& expected, int tolerance = 2)
{
    const QColor actual = image.pixelColor(x, y);
    const bool near = std::abs(actual.red() - expected.red()) <= tolerance &&
                      std::abs(actual.green() - expected.green()) <= tolerance &&
                      std::abs(actual.blue() - expected.blue()) <= tolerance;
    if (near) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << actual.red() << ","
                                         << actual.green() << "," << actual.blue() << ", expected " << expected.red()
                                         << "," << expected.green() << "," << expected.blue();
}

} // namespace oxel::pixels
