#include "ui/window/CompareKeys.h"

#include "ui/kit/PaintedButton.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace oxel {
namespace {

constexpr Qt::KeyboardModifiers countedModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

CompareKeys::CompareKeys(QWidget& mainView, Hooks hooks) : mainView_(mainView), hooks_(std::move(hooks))
{
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) setComparing(false);
    });
}

CompareKeys::~CompareKeys()
{
    remove();
}

void CompareKeys::install()
{
    if (installed_) return;
    qApp->installEventFilter(this);
    installed_ = true;
}

void CompareKeys::remove()
{
    if (!installed_) return;
    qApp->removeEventFilter(this);
    installed_ = false;
}

bool CompareKeys::textHasFocus()
{
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus) ||
           qobject_cast<QAbstractSpinBox*>(focus);
}

bool CompareKeys::buttonHasFocus()
{
    auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    if (!button) return false;
    auto* painted = qobject_cast<PaintedButton*>(button);
    return !painted || painted->showsFocusMark();
}

bool CompareKeys::eventFilter(QObject* watched, QEvent* event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    // Qt hands each key to the window before the focus widget; a key swallowed there reaches no control.
    if (key && watched->isWindowType()) return handle(static_cast<QKeyEvent&>(*event));
    return false;
}

bool CompareKeys::handle(QKeyEvent& key)
{
    const bool passOn = textHasFocus() || (key.modifiers() & countedModifiers);
    if (key.key() == Qt::Key_Space) return handleSpace(key, passOn || buttonHasFocus());
    if (passOn) return false;
    return handleLightboxKey(key);
}

bool CompareKeys::handleSpace(QKeyEvent& key, bool passOn)
{
    const bool press = key.type() == QEvent::KeyPress;
    if (!press && !key.isAutoRepeat()) {
        setComparing(false);
        return !passOn;
    }
    if (passOn) return false;
    // Held down: the repeats, which X11 sends as release-press pairs, change nothing.
    if (key.isAutoRepeat()) return true;
    setComparing(true);
    if (hooks_.hasResults && hooks_.hasResults() && hooks_.comparedResults) hooks_.comparedResults();
    return true;
}

bool CompareKeys::handleLightboxKey(QKeyEvent& key)
{
    int step = 0;
    switch (key.key()) {
    case Qt::Key_Escape: break;
    case Qt::Key_Left: step = -1; break;
    case Qt::Key_Right: step = 1; break;
    default: return false;
    }
    // A sheet or another window in front keeps its own Escape and arrows.
    if (QApplication::activeWindow() != mainView_.window()) return false;
    if (key.type() != QEvent::KeyPress || !hooks_.lightboxOpen || !hooks_.lightboxOpen()) return false;
    if (step == 0) {
        hooks_.closeLightbox();
    } else {
        hooks_.stepLightbox(step);
    }
    return true;
}

void CompareKeys::setComparing(bool comparing)
{
    if (comparing_ == comparing) return;
    comparing_ = comparing;
    Q_EMIT comparingChanged(comparing);
}

} // namespace oxel
