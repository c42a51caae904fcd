#pragma once

#include <QWidget>

namespace oxel {

class PixelImage;

// A look thumbnail with the mark that says whether it is the chosen look: the chosen one gets a
// quiet outline with corner marks round it, one not chosen is drawn faded. The picture lies 3 in
// from the mark.
class LookMark : public QWidget {
    Q_OBJECT
public:
    explicit LookMark(QWidget* parent = nullptr);

    static constexpr int padding = 3;
    static constexpr double unchosenOpacity = 0.55;

    bool chosen() const { return chosen_; }
    void setChosen(bool chosen);
    PixelImage* picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Corners;

    bool chosen_ = false;
    PixelImage* picture_;
    Corners* corners_;
};

} // namespace oxel
