#pragma once

#include <QWidget>

namespace oxel {

// A thin pencil rule between regions: as wide as offered, 0.75 high (in a one-pixel row).
class PencilRule : public QWidget {
    Q_OBJECT
public:
    explicit PencilRule(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {0, 1}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace oxel
