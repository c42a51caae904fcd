#pragma once

#include "ui/window/ModelWatch.h"

#include <QWidget>

class QHBoxLayout;

namespace oxel {

class ColourBand;
class LinkButton;
class StrengthBand;

// The band over the tile grid on the results screen, in two equal columns: the batch light and
// the batch colour. A batch developed with colour only so far has no light to move: its colour
// comes first and, while nothing is developing, a link offers to develop the images with colour
// and light instead. A column with nothing to show keeps its half of the width.
class ResultsBand : public QWidget {
    Q_OBJECT
public:
    explicit ResultsBand(AppModel& model, QWidget* parent = nullptr);
    ~ResultsBand() override;

    // Reads the model again, now.
    void refresh();

    StrengthBand* strengthBand() const { return strength_; }
    ColourBand* colourBand() const { return colour_; }
    LinkButton* lightOffer() const { return lightOffer_; }
    // The two columns, left first.
    QWidget* column(int index) const;

private:
    AppModel& model_;
    QHBoxLayout* columns_;
    // Each column holds what it shows, or a clear strip 1 high.
    QWidget* lightColumn_;
    QWidget* colourColumn_;
    QWidget* offerColumn_;
    StrengthBand* strength_;
    ColourBand* colour_;
    QWidget* colourSpacer_;
    LinkButton* lightOffer_;
    QWidget* offerSpacer_;
    ModelWatch watch_;
};

} // namespace oxel
