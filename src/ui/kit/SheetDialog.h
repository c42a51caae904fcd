#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QPointer>

#include <optional>

namespace oxel {

class SheetFrame;

// The base of every sheet: a window-modal dialog over its window, opened with `open()` so the
// event loop keeps running, deleted when closed, titled for task switchers and screen readers as
// its frame is. The subclass fills `body()`. Its width is fixed when the sheet's is, else at least
// the frame's minimum; its height follows the content, also when sections come and go.
//
// Keys: a sheet opens with the focus on none of its controls (a subclass may give it to a text
// field), so Tab reaches the first control and no key acts on a control the person has not
// chosen. Tab and Backtab go through the controls in reading order, down the sheet and across
// each row, however late a control was made (a list's rows come after the sheet's buttons were
// made). Return presses the default button, when the sheet has one and it can act, and otherwise
// does nothing; a focused button or a text field that takes Return acts on it first. Escape
// closes the sheet as the platform's dismissal.
class SheetDialog : public QDialog {
    Q_OBJECT
public:
    SheetDialog(const QString& title, QWidget* parent, std::optional<int> fixedWidth = std::nullopt);

    QWidget* body() const { return body_; }
    SheetFrame* frame() const { return frame_; }
    QAbstractButton* defaultButton() const { return defaultButton_; }

protected:
    // The button Return presses: never one that signs out, removes or deletes.
    void setDefaultButton(QAbstractButton* button) { defaultButton_ = button; }
    // Takes the focus from whichever control holds it and gives it back to the sheet itself.
    void focusNoControl();

    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* body_;
    SheetFrame* frame_;
    QPointer<QAbstractButton> defaultButton_;
};

} // namespace oxel
