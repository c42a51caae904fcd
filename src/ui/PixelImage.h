#pragma once

#include "imaging/Bitmap.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cstdint>

namespace oxel {

// Shows a picture scaled to fit, proportions kept, centred, smoothly resampled; where it does not
// reach, what lies beneath shows. The picture reaches the screen as 8-bit sRGB: an sRGB bitmap
// is wrapped without a copy, any other is converted once off the main thread, and the previous
// picture stays until the converted one arrives. One scaled copy is kept for the current size,
// so a repaint of the same picture at the same size only copies pixels.
class PixelImage : public QWidget {
    Q_OBJECT
public:
    explicit PixelImage(QWidget* parent = nullptr);

    // Handing over the same pixels again (a copy of the same bitmap) changes nothing and repaints
    // nothing; a null bitmap clears the view. Every call is answered by `pictureShown` once the
    // view paints what was handed over.
    void setPicture(const Bitmap& picture);
    const Bitmap& picture() const { return picture_; }
    // Draws the picture at this opacity, over whatever lies beneath.
    void setOpacity(qreal opacity);
    qreal opacity() const { return opacity_; }
    // The 8-bit sRGB picture being shown; null while nothing is shown.
    const QImage& displayed() const { return displayed_; }
    // Lets the scaled copy go; the next paint makes it again. For views far from the screen.
    void releaseScaled()
    {
        scaled_ = QPixmap();
        previous_.scaled = QPixmap();
    }
    bool holdsScaled() const { return !scaled_.isNull(); }

    // Where a picture of `picture` pixels lies in `bounds`: scaled by the smaller of the two
    // ratios, centred. Empty when either size is empty.
    static QRectF fittedRect(QSizeF picture, QSizeF bounds);

Q_SIGNALS:
    // What the last `setPicture` handed over is what the view now paints. Emitted from within
    // `setPicture` for a picture shown as it is (sRGB, the previous picture again, the same one
    // again, none), and later, from the event loop, for one that had to be converted first; a
    // conversion overtaken by a newer picture is never announced.
    void pictureShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void display(QImage image);
    void shownAtOnce(QImage image);
    void convertOffMainThread(const Bitmap& picture);

    Bitmap picture_;
    QImage displayed_;
    std::uint64_t generation_ = 0; // which setPicture a conversion belongs to
    bool converting_ = false;      // the current picture is still being converted
    qreal opacity_ = 1;
    QPixmap scaled_; // the displayed picture at the fitted size, in device pixels
    // The picture shown before the current one, kept whole: comparing flips between two.
    struct Shown {
        Bitmap picture;
        QImage displayed;
        QPixmap scaled;
    };
    Shown previous_;
};

} // namespace oxel
