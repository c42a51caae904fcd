#pragma once

#include <QWidget>

class QVBoxLayout;

namespace oxel {

// A card laid over a tile's picture: its content stacked and centred on paper, at 0.85 unless told.
class TileCard : public QWidget {
    Q_OBJECT
public:
    TileCard(int padding, int spacing, QWidget* parent = nullptr, double opacity = 0.85);
    QVBoxLayout* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* content_;
    double opacity_;
};

} // namespace oxel
