#include "ui/window/CompareHint.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBox.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

namespace {

const QString holdText = QStringLiteral("hold");
const QString keyText = QStringLiteral("space");
const QString afterText = QStringLiteral("to see the original");

constexpr qreal gap = 7;
constexpr qreal keyPaddingX = 14, keyPaddingY = 2;
constexpr qreal paddingX = 18, paddingY = 10;
constexpr InkBox box{false, true, 0.9, false};

QFont rowFont()
{
    return uiFont(13, FontWeight::light);
}
QFont keyFont()
{
    return uiFont(11, FontWeight::regular);
}

// Where the three parts lie inside the padding.
struct Layout {
    QRectF before, key, after;
    QSizeF row;

    Layout()
    {
        const QFontMetricsF text(rowFont()), cap(keyFont());
        const QSizeF beforeSize(text.horizontalAdvance(holdText), text.height());
        const QSizeF keySize(cap.horizontalAdvance(keyText) + 2 * keyPaddingX, cap.height() + 2 * keyPaddingY);
        const QSizeF afterSize(text.horizontalAdvance(afterText), text.height());
        row = QSizeF(beforeSize.width() + gap + keySize.width() + gap + afterSize.width(),
                     std::max(text.height(), keySize.height()));
        const auto centred = [this](qreal x, QSizeF size) {
            return QRectF(QPointF(x, (row.height() - size.height()) / 2), size);
        };
        before = centred(0, beforeSize);
        key = centred(before.right() + gap, keySize);
        after = centred(key.right() + gap, afterSize);
    }
};

} // namespace

CompareHint::CompareHint(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(holdText + QLatin1Char(' ') + keyText + QLatin1Char(' ') + afterText);
}

QSize CompareHint::sizeHint() const
{
    const Layout layout;
    return {int(std::ceil(layout.row.width() + 2 * paddingX)), int(std::ceil(layout.row.height() + 2 * paddingY))};
}

void CompareHint::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Appearance appearance = appearanceOf(*this);
    box.paintBehind(painter, rect(), appearance);

    const Layout layout;
    painter.save();
    painter.translate((width() - layout.row.width()) / 2, (height() - layout.row.height()) / 2);
    const QColor text = Palette::ink(0.9).resolve(appearance);
    painter.setPen(text);
    painter.setFont(rowFont());
    painter.drawText(layout.before, Qt::AlignCenter, holdText);
    painter.drawText(layout.after, Qt::AlignCenter, afterText);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal half = fineLine / 2;
    painter.setPen(inkPen(Palette::ink(0.5).resolve(appearance), fineLine));
    painter.drawRoundedRect(layout.key.adjusted(half, half, -half, -half), 3 - half, 3 - half);
    painter.setPen(text);
    painter.setFont(keyFont());
    painter.drawText(layout.key, Qt::AlignCenter, keyText);
    painter.restore();

    box.paintInFront(painter, rect(), appearance);
}

} // namespace oxel
