#pragma once

#include "ui/kit/DynamicColour.h"

#include <QLabel>

namespace oxel {

// A wrapping text the photographer can select and copy, such as a path or a command line to
// paste elsewhere; in one of our fonts and a palette colour that follows the appearance.
class SelectableText : public QLabel {
    Q_OBJECT
public:
    SelectableText(const QString& text, double size, DynamicColour colour, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColour();

    DynamicColour colour_;
};

} // namespace oxel
