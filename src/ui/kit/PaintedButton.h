#pragma once

#include <QAbstractButton>
#include <QPointer>

class QPainter;

namespace oxel {

class FocusMark;

// A button that draws its own face; the platform draws no chrome around it. Return, Enter and
// space click it from the keyboard (the compare keys leave space to a button the keyboard reached).
// Its label is its accessible name. Disabled, it ignores clicks and its whole face is painted at `disabledOpacity`.
// Tab reaches it, a click does not focus it; while the focus came by the keyboard (Tab or
// Backtab, and back after another window or a menu) a `FocusMark` surrounds it.
class PaintedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PaintedButton(QWidget* parent = nullptr);
    ~PaintedButton() override;

    void setLabel(const QString& label);
    QString label() const { return text(); }

    qreal disabledOpacity() const { return disabledOpacity_; }
    void setDisabledOpacity(qreal opacity);

    // Whether the keyboard's focus mark surrounds the button now.
    bool showsFocusMark() const;

protected:
    // Draws the face in the widget's own coordinates; the opacity is already set.
    virtual void paintFace(QPainter& painter) = 0;

    void paintEvent(QPaintEvent* event) final;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void markFocus(bool byKeyboard);

    qreal disabledOpacity_ = 0.4;
    bool keyboardFocus_ = false;
    QPointer<FocusMark> focusMark_;
};

} // namespace oxel
