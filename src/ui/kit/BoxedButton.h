#pragma once

#include "ui/kit/DynamicColour.h"
#include "ui/kit/InkBox.h"
#include "ui/kit/PaintedButton.h"

#include <QFont>

#include <vector>

namespace oxel {

// A plain button whose label, one or more texts in their own colours side by side, sits in an
// `InkBox` with margins around it: the bar buttons, the shots label, import and resume.
class BoxedButton : public PaintedButton {
    Q_OBJECT
public:
    struct Run {
        QString text;
        DynamicColour colour;
    };
    struct Look {
        QFont font;
        qreal vertical = 6;
        qreal horizontal = 14;
        InkBox box;
        qreal runSpacing = 6;
        // Longer texts are cut with "…" at this width; 0 leaves them whole.
        qreal longestRun = 0;
    };

    BoxedButton(std::vector<Run> runs, Look look, QWidget* parent = nullptr);

    // The texts joined by spaces; also the button's label.
    QString fullText() const { return text(); }
    void setRuns(std::vector<Run> runs);
    // The first run's text alone.
    void setText(const QString& text);
    // A label only: it shows the look but takes no clicks and no focus.
    void makeInert();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // An outlined box at contentAlpha 0.9, quiet or not, and the solid ink box.
    static Look outlined(QFont font, qreal vertical, qreal horizontal, bool quiet);
    static Look filled(QFont font, qreal vertical, qreal horizontal);

protected:
    void paintFace(QPainter& painter) override;

private:
    qreal runsWidth() const;
    QString shown(const QString& run) const;

    std::vector<Run> runs_;
    Look look_;
};

} // namespace oxel
