#pragma once

#include "ui/InkBox.h"

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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Corners;

    InkBox box_;
    QWidget* content_ = nullptr;
    Corners* corners_;
};

} // namespace oxel
