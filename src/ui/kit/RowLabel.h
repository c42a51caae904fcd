#pragma once

#include "ui/kit/TextLabel.h"

namespace oxel {

// The fixed-width name at the start of a slider row ("light", "colour"), light weight, in ink at
// 0.8, aligned leading.
class RowLabel : public TextLabel {
    Q_OBJECT
public:
    RowLabel(const QString& text, int width, double size, QWidget* parent = nullptr);
};

} // namespace oxel
