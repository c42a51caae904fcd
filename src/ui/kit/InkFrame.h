#pragma once

#include "ui/kit/InkBox.h"

#include <QMargins>
#include <QWidget>

namespace oxel {

// An `InkBox` around a child widget such as a text field: the ground and border are painted
// under the child and the corner marks over it, on a layer that lets clicks through.
class InkFrame : public QWidget {
    Q_OBJECT
public:
    explicit InkFrame(InkBox box, QWidget* parent = nullptr);

    // Places `content` inside the box, `padding` from its edges; the frame takes ownership.
    void setContent(QWidget* content, QMargins padding = {});
    QWidget* content() const { return content_; }

    const InkBox& box() const { return box_; }
    void setBox(const InkBox& box);
    // Dims the box, and whatever the subclass paints, as a whole.
    virtual void setOpacity(qreal opacity);
    qreal opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Corners;

    void coverWithCorners();

    InkBox box_;
    qreal opacity_ = 1;
    QWidget* content_ = nullptr;
    Corners* corners_;
};

} // namespace oxel
