#include "ui/kit/BoxedButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

BoxedButton::BoxedButton(std::vector<Run> runs, Look look, QWidget* parent)
    : PaintedButton(parent), look_(std::move(look))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setRuns(std::move(runs));
}

BoxedButton::Look BoxedButton::outlined(QFont font, qreal vertical, qreal horizontal, bool quiet)
{
    return {std::move(font), vertical, horizontal, InkBox{false, true, 0.9, quiet}};
}

BoxedButton::Look BoxedButton::filled(QFont font, qreal vertical, qreal horizontal)
{
    return {std::move(font), vertical, horizontal, InkBox{true, true, 0.9, false}};
}

void BoxedButton::setRuns(std::vector<Run> runs)
{
    runs_ = std::move(runs);
    QStringList texts;
    for (const auto& run : runs_) texts << run.text;
    setLabel(texts.join(' '));
}

void BoxedButton::setText(const QString& text)
{
    if (runs_.empty()) return;
    runs_.front().text = text;
    setRuns(runs_);
}

void BoxedButton::makeInert()
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    unsetCursor();
}

QString BoxedButton::shown(const QString& run) const
{
    if (look_.longestRun <= 0) return run;
    return QFontMetricsF(look_.font).elidedText(run, Qt::ElideRight, look_.longestRun);
}

qreal BoxedButton::runsWidth() const
{
    const QFontMetricsF metrics(look_.font);
    qreal width = 0;
    for (size_t index = 0; index < runs_.size(); ++index) {
        if (index > 0) width += look_.runSpacing;
        width += metrics.horizontalAdvance(shown(runs_[index].text));
    }
    return width;
}

QSize BoxedButton::sizeHint() const
{
    const QFontMetricsF metrics(look_.font);
    return {int(std::ceil(runsWidth() + 2 * look_.horizontal)), int(std::ceil(metrics.height() + 2 * look_.vertical))};
}

QSize BoxedButton::minimumSizeHint() const
{
    return sizeHint();
}

void BoxedButton::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    look_.box.paintBehind(painter, rect(), appearance);
    painter.setFont(look_.font);
    const QFontMetricsF metrics(look_.font);
    qreal x = (width() - runsWidth()) / 2;
    for (const auto& run : runs_) {
        const QString text = shown(run.text);
        const qreal advance = metrics.horizontalAdvance(text);
        painter.setPen(run.colour.resolve(appearance));
        painter.drawText(QRectF(x, 0, advance + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += advance + look_.runSpacing;
    }
    look_.box.paintInFront(painter, rect(), appearance);
}

} // namespace oxel
