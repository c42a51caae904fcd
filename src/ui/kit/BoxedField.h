#pragma once

#include "ui/kit/InkFrame.h"

class QLineEdit;

namespace oxel {

// A one-line text field in a quiet outlined box, drawn in the palette's ink on paper, with a
// placeholder while empty. `editor()` is the field itself.
class BoxedField : public InkFrame {
    Q_OBJECT
public:
    BoxedField(const QString& placeholder, double fontSize, QMargins padding, QWidget* parent = nullptr);

    QLineEdit* editor() const { return editor_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    QLineEdit* editor_;
};

} // namespace oxel
