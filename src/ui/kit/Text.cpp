#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>

namespace oxel {

namespace {

qreal widestDigit(const QFontMetricsF& metrics)
{
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    return widest;
}

QString withoutTrailingSpace(QString line)
{
    while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
    return line;
}

} // namespace

// C's own formatting, so that a value half-way between two steps rounds as "%.2f" does everywhere
// else (Qt's formatter rounds 0.125 up).
QString formatValue(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return QString::fromLatin1(text);
}

qreal tabularWidth(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal cell = widestDigit(metrics);
    qreal width = 0;
    for (const QChar character : text) width += character.isDigit() ? cell : metrics.horizontalAdvance(character);
    return width;
}

void drawTabularText(QPainter& painter, QPointF baselineStart, const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal cell = widestDigit(metrics);
    painter.save();
    painter.setFont(font);
    qreal x = baselineStart.x();
    for (const QChar character : text) {
        const qreal advance = metrics.horizontalAdvance(character);
        if (character.isDigit()) {
            painter.drawText(QPointF(x + (cell - advance) / 2, baselineStart.y()), QString(character));
            x += cell;
        } else {
            painter.drawText(QPointF(x, baselineStart.y()), QString(character));
            x += advance;
        }
    }
    painter.restore();
}

qreal lineAdvance(const QFont& font, qreal extraSpacing)
{
    return QFontMetricsF(font).lineSpacing() + extraSpacing;
}

QString elidedTail(const QString& text, const QFont& font, qreal width)
{
    return QFontMetricsF(font).elidedText(text, Qt::ElideRight, std::max<qreal>(width, 0));
}

QStringList wrappedLines(const QString& text, const QFont& font, qreal width, int maxLines)
{
    QString prepared = text;
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(prepared, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal lineWidth = std::max<qreal>(width, 1);

    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        if (maxLines > 0 && lines.size() == maxLines - 1) {
            const QString rest = prepared.mid(line.textStart()).replace(QChar::LineSeparator, QLatin1Char(' '));
            lines << elidedTail(rest.simplified(), font, lineWidth);
            break;
        }
        lines << withoutTrailingSpace(prepared.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator));
    }
    layout.endLayout();
    return lines;
}

QFont linkFont(QFont font)
{
    font.setUnderline(true);
    return font;
}

} // namespace oxel
