#include "ui/kit/StopLabels.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

namespace oxel {

std::array<StopLabels::Stop, 3> StopLabels::light()
{
    return {{{"original", 18}, {"refined", 0, false, true}, {"full send", 24, true}}};
}

std::array<StopLabels::Stop, 3> StopLabels::colour()
{
    return {{{"neutral", 20}, {"subtle colour", 0, false, true}, {"big colour", 28, true}}};
}

StopLabels::StopLabels(std::array<Stop, 3> stops, QWidget* parent) : QWidget(parent), stops_(std::move(stops))
{
    setFixedHeight(stripHeight);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

qreal StopLabels::centreOf(const Stop& stop, qreal width)
{
    if (stop.middle) return width * 0.5;
    return stop.fromRight ? width - stop.inset : stop.inset;
}

void StopLabels::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = uiFont(11, FontWeight::light);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(Palette::pencil().resolve(appearanceOf(*this)));
    const qreal centreY = stripHeight / 2.0;
    for (const Stop& stop : stops_) {
        const qreal x = centreOf(stop, width()) - metrics.horizontalAdvance(stop.text) / 2;
        painter.drawText(QPointF(x, centreY - metrics.height() / 2 + metrics.ascent()), stop.text);
    }
}

} // namespace oxel
