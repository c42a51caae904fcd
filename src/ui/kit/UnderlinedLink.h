#pragma once

#include "ui/kit/PaintedButton.h"

namespace oxel {

// A text link in pencil, 11 pt, underlined by a fine pencil bar at the text's foot, on paper so a
// line behind it does not cross the words: "recent batches…" and the set-up links.
class UnderlinedLink : public PaintedButton {
    Q_OBJECT
public:
    UnderlinedLink(const QString& label, qreal sidePadding, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter) override;

private:
    qreal sidePadding_;
};

} // namespace oxel
