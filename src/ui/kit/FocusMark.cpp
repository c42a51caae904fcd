#include "ui/kit/FocusMark.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace oxel {

FocusMark::FocusMark(QWidget& target) : QWidget(unclippedAncestor(target)), target_(target)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    // The control and every ancestor up to the mark's own parent: any of them moving moves the control.
    for (QWidget* widget = &target; widget && widget != parentWidget(); widget = widget->parentWidget())
        widget->installEventFilter(this);
}

QWidget* FocusMark::unclippedAncestor(QWidget& target)
{
    QWidget* ancestor = target.parentWidget();
    while (ancestor && !ancestor->isWindow() && !qobject_cast<QAbstractScrollArea*>(ancestor->parentWidget()))
        ancestor = ancestor->parentWidget();
    return ancestor;
}

void FocusMark::showAround(bool shown)
{
    if (!shown || !parentWidget()) {
        hide();
        return;
    }
    place();
    raise();
    show();
}

void FocusMark::place()
{
    const QPoint origin = target_.mapTo(parentWidget(), QPoint(0, 0));
    const int outset = gap + 2;
    setGeometry(QRect(origin, target_.size()).adjusted(-outset, -outset, outset, outset));
}

bool FocusMark::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        if (isVisible()) place();
        break;
    case QEvent::Hide:
        if (watched == &target_) hide();
        break;
    default: break;
    }
    return false;
}

void FocusMark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor ink = Palette::ink(0.9).resolve(appearanceOf(*this));
    // The corners' strokes lie centred on a rectangle `gap` outside the control.
    const qreal half = boldLine / 2;
    const QRectF around = QRectF(rect()).adjusted(2 - half, 2 - half, half - 2, half - 2);
    const qreal l = around.left(), t = around.top(), r = around.right(), b = around.bottom();
    const qreal a = std::min({arm, around.width() / 2, around.height() / 2});
    strokePath(painter, {{l, t + a}, {l, t}, {l + a, t}}, ink, boldLine);
    strokePath(painter, {{r - a, t}, {r, t}, {r, t + a}}, ink, boldLine);
    strokePath(painter, {{r, b - a}, {r, b}, {r - a, b}}, ink, boldLine);
    strokePath(painter, {{l + a, b}, {l, b}, {l, b - a}}, ink, boldLine);
}

} // namespace oxel
