#pragma once

#include <QDialog>

#include <optional>

namespace oxel {

class SheetFrame;

// The base of every sheet: a window-modal dialog over its window, opened with `open()` so the
// event loop keeps running, deleted when closed, titled for task switchers and screen readers as
// its frame is. The subclass fills `body()`. Its width is fixed when the sheet's is, else at least
// the frame's minimum; its height follows the content, also when sections come and go.
class SheetDialog : public QDialog {
    Q_OBJECT
public:
    SheetDialog(const QString& title, QWidget* parent, std::optional<int> fixedWidth = std::nullopt);

    QWidget* body() const { return body_; }
    SheetFrame* frame() const { return frame_; }

private:
    QWidget* body_;
    SheetFrame* frame_;
};

} // namespace oxel
