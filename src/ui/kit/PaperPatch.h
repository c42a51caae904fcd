#pragma once

#include <QWidget>

namespace oxel {

// Paper behind one child, with room left and right, so the centre line of a start screen does not
// run through a text or a row of buttons.
class PaperPatch : public QWidget {
    Q_OBJECT
public:
    PaperPatch(QWidget* content, int horizontalPadding, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* content_;
};

// Lines of one text under each other, each centred, `lineSpacing` apart.
QWidget* centredLines(const QString& text, const QFont& font, double inkOpacity, int lineSpacing);

} // namespace oxel
