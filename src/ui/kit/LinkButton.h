#pragma once

#include "ui/kit/DynamicColour.h"
#include "ui/kit/PaintedButton.h"

#include <QFont>

namespace oxel {

class TextLabel;

// A text that takes clicks: the one link of the interface. By default the quiet pencil link of
// the bands, the tiles and the empty window ("reset", "relink", "recent batches…"): 11 pt, one line,
// underlined by a fine rule in pencil at its foot. A link may instead wrap at words up to a number
// of lines, the last cut with "…", and it may sit on paper, so that a line drawn behind it does not
// cross the words. It takes the keyboard as every painted button does.
class LinkButton : public PaintedButton {
    Q_OBJECT
public:
    struct Look {
        QFont font;
        DynamicColour colour;
        bool underlined = true;
        // Above 0: wraps at words into at most this many lines, and the height follows the width.
        int wrapLines = 0;
        bool onPaper = false;
        // Room either side of the words; on paper, the paper reaches into it.
        qreal sideMargin = 0;
    };
    // The pencil link's look, in another colour where given.
    static Look pencil();
    static Look pencil(const DynamicColour& colour);
    // The pencil link on paper, with this much paper either side of the words.
    static Look onPaper(qreal sideMargin);

    explicit LinkButton(const QString& label, QWidget* parent = nullptr);
    LinkButton(const QString& label, const Look& look, QWidget* parent = nullptr);

    void setLabel(const QString& label);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return look_.wrapLines > 0; }
    int heightForWidth(int width) const override;

protected:
    void paintFace(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect labelArea() const;

    Look look_;
    TextLabel* label_;
};

} // namespace oxel
