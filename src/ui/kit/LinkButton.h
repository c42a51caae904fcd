#pragma once

#include "ui/kit/DynamicColour.h"
#include "ui/kit/PaintedButton.h"

namespace oxel {

class TextLabel;

// A plain button that reads as text: its label wraps at words up to a number of lines, the last
// cut with "…", in one palette colour. It takes clicks, and the keyboard as every painted button does.
class LinkButton : public PaintedButton {
    Q_OBJECT
public:
    LinkButton(const QFont& font, const DynamicColour& colour, int maxLines, QWidget* parent = nullptr);

    void setLabel(const QString& label);
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintFace(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TextLabel* label_;
};

} // namespace oxel
