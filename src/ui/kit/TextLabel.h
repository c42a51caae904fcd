#pragma once

#include "ui/kit/DynamicColour.h"

#include <QFont>
#include <QWidget>

namespace oxel {

// A text in one of our fonts and palette colours, resolved when painted. Single-line texts are
// cut at the tail when the width runs short; wrapping texts break at words and may be limited to
// a number of lines, the last one cut with "…".
class TextLabel : public QWidget {
    Q_OBJECT
public:
    TextLabel(QString text, QFont font, DynamicColour colour, QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    void setColour(const DynamicColour& colour);
    void setFont(const QFont& font);
    // Wraps at words; `maxLines` 0 leaves the number of lines open.
    void setWrapping(int maxLines, qreal extraLineSpacing = 0);
    void setAlignment(Qt::Alignment alignment);
    // Dims the text as a whole, as its row says.
    void setOpacity(qreal opacity);
    qreal opacity() const { return opacity_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return wrapping_; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList lines(qreal width) const;
    int heightOf(int lineCount) const;

    QString text_;
    QFont font_;
    DynamicColour colour_;
    bool wrapping_ = false;
    int maxLines_ = 0;
    qreal extraLineSpacing_ = 0;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    qreal opacity_ = 1;
};

} // namespace oxel
