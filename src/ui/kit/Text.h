#pragma once

#include <QFont>
#include <QPointF>
#include <QString>
#include <QStringList>

class QPainter;

namespace oxel {

// A slider value as the interface prints it: two decimals ("0.50").
QString formatValue(double value);

// Text laid out with monospaced digits: each digit gets a cell as wide as the face's widest digit
// and is centred in it, so that a changing value does not shift its neighbours. Other characters
// keep their own advance.
qreal tabularWidth(const QString& text, const QFont& font);
void drawTabularText(QPainter& painter, QPointF baselineStart, const QString& text, const QFont& font);

// The distance from one baseline to the next, with `extraSpacing` added between lines.
qreal lineAdvance(const QFont& font, qreal extraSpacing = 0);

// The text cut at its tail with "…" to fit `width`.
QString elidedTail(const QString& text, const QFont& font, qreal width);

// The text wrapped at word boundaries into lines of at most `width`, at most `maxLines` of them
// (0 for no limit); when it runs longer, the last line kept ends with "…".
QStringList wrappedLines(const QString& text, const QFont& font, qreal width, int maxLines = 0);

// The font of a link: the same face, underlined.
QFont linkFont(QFont font);

} // namespace oxel
