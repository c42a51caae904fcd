#include "ui/kit/ApplicationStyle.h"

#include "ui/kit/Appearance.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace oxel {
namespace {

constexpr qreal thumbWidth = 4;
constexpr qreal thumbHeight = 16;
constexpr qreal scrollHandleInset = 3;
constexpr double disabledOpacity = 0.4;

} // namespace

ApplicationStyle::ApplicationStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{}

void ApplicationStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                          const QWidget* widget) const
{
    if (control == CC_Slider && qstyleoption_cast<const QStyleOptionSlider*>(option))
        return drawSlider(option, painter, widget);
    if (control == CC_ScrollBar && qstyleoption_cast<const QStyleOptionSlider*>(option))
        return drawScrollBar(option, painter, widget);
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

void ApplicationStyle::drawSlider(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const
{
    const Appearance appearance = appearanceOf(option->palette);
    const bool horizontal = static_cast<const QStyleOptionSlider*>(option)->orientation == Qt::Horizontal;
    const QRectF groove = subControlRect(CC_Slider, option, SC_SliderGroove, widget);
    const QRectF handle = subControlRect(CC_Slider, option, SC_SliderHandle, widget);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (!(option->state & State_Enabled)) painter->setOpacity(disabledOpacity);
    const QColor pencil = Palette::pencil().resolve(appearance);
    if (horizontal)
        fillRect(*painter, QRectF(groove.left(), handle.center().y() - fineLine / 2, groove.width(), fineLine), pencil);
    else
        fillRect(*painter, QRectF(handle.center().x() - fineLine / 2, groove.top(), fineLine, groove.height()), pencil);
    const QSizeF thumb = horizontal ? QSizeF(thumbWidth, thumbHeight) : QSizeF(thumbHeight, thumbWidth);
    const QRectF thumbRect(handle.center() - QPointF(thumb.width() / 2, thumb.height() / 2), thumb);
    fillRect(*painter, thumbRect, Palette::ink(0.9).resolve(appearance));
    if (option->state & State_HasFocus)
        strokeBorderInside(*painter, thumbRect.adjusted(-3, -3, 3, 3), Palette::ink(0.45).resolve(appearance),
                           fineLine);
    painter->restore();
}

void ApplicationStyle::drawScrollBar(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const
{
    const Appearance appearance = appearanceOf(option->palette);
    const auto* bar = static_cast<const QStyleOptionSlider*>(option);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    fillRect(*painter, option->rect, Palette::paper().resolve(appearance));
    const bool active =
        (option->activeSubControls & SC_ScrollBarSlider) && (option->state & (State_MouseOver | State_Sunken));
    QRectF handle = subControlRect(CC_ScrollBar, option, SC_ScrollBarSlider, widget);
    handle = bar->orientation == Qt::Vertical ? handle.adjusted(scrollHandleInset, 0, -scrollHandleInset, 0)
                                              : handle.adjusted(0, scrollHandleInset, 0, -scrollHandleInset);
    if (!(option->state & State_Enabled)) painter->setOpacity(disabledOpacity);
    if (bar->minimum != bar->maximum)
        fillRect(*painter, handle, Palette::ink(active ? scrollHandleActiveInk : scrollHandleInk).resolve(appearance));
    painter->restore();
}

} // namespace oxel
