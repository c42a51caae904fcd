#pragma once

#include "async/WorkPool.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureHandle.h"

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>

namespace oxel {

// Shows a picture scaled to fit, proportions kept, centred, smoothly resampled; where it does not
// reach, what lies beneath shows. The picture reaches the screen as 8-bit sRGB: an sRGB bitmap
// is wrapped without a copy, any other is converted once off the main thread, and the previous
// picture stays until the converted one arrives. One scaled copy is kept for the current size,
// so a repaint of the same picture at the same size only copies pixels.
//
// A picture handed over as a bitmap is held by the view. One handed over as a handle stays in the
// shared picture cache: the view keeps only its scaled copy, and pins the picture while it makes
// that copy, on the main thread when the cache holds it in sRGB, else off the main thread.
class PixelImage : public QWidget {
    Q_OBJECT
public:
    explicit PixelImage(QWidget* parent = nullptr);

    // Handing over the same pixels again (a copy of the same bitmap, or of the same handle)
    // changes nothing and repaints nothing; a null bitmap or handle clears the view. Every call is
    // answered by `pictureShown` once the view paints what was handed over: a handle's picture
    // whose scaled copy was let go, once a paint makes it again.
    void setPicture(const Bitmap& picture);
    void setPicture(const PictureHandle& picture);
    // The held bitmap; null for a picture handed over as a handle.
    const Bitmap& picture() const { return current_.picture; }
    // The handle of the picture; null for a held bitmap.
    const PictureHandle& handle() const { return current_.handle; }
    // The picture's size in pixels, whichever way it came.
    QSize pictureSize() const { return current_.size(); }
    // Whether a handle's picture the cache let go before its scaled copy was made is made again
    // for it (the default), or told as unavailable, for an owner with something else to show
    // while a picture costly to make is made elsewhere. Applies to the copies asked for from now.
    void setMakesLetGoPictures(bool makes) { makesLetGo_ = makes; }
    bool makesLetGoPictures() const { return makesLetGo_; }
    // The priority on the shared work pool at which pictures are converted and scaled off the main
    // thread; the photographer's, unless told.
    void setWorkPriority(WorkPriority priority) { priority_ = priority; }
    // Whether the photographer can see the view now (yes, unless told). A picture that must be
    // made again is made only for a view in sight, when its turn on the pool comes: a scroll past
    // hundreds of views leaves no work behind it. One passed over is asked for again once the
    // view is back in sight.
    void setInSight(bool inSight);
    // Draws the picture at this opacity, over whatever lies beneath.
    void setOpacity(qreal opacity);
    qreal opacity() const { return opacity_; }
    // The held picture in 8-bit sRGB; null while nothing is held or converted yet.
    const QImage& displayed() const { return current_.displayed; }
    // Lets the scaled copy go; the next paint makes it again. For views far from the screen.
    void releaseScaled();
    bool holdsScaled() const { return !current_.scaled.isNull(); }
    // Whether a paint now draws a picture: the current one, or the one before while it waits.
    bool drawsPicture() const { return holdsScaled() || !previous_.scaled.isNull(); }

    // Where a picture of `picture` pixels lies in `bounds`: scaled by the smaller of the two
    // ratios, centred. Empty when either size is empty.
    static QRectF fittedRect(QSizeF picture, QSizeF bounds);

Q_SIGNALS:
    // What the last `setPicture` handed over is what the view now paints. Emitted from within
    // `setPicture` for a picture shown as it is (sRGB, the previous picture again, the same one
    // again while it can be drawn, none), from the paint that scales a handle's picture held by the cache in sRGB, and
    // later, from the event loop, for one that had to be converted or made first; a conversion
    // overtaken by a newer picture is never announced.
    void pictureShown();
    // A handle's picture could not be made (its file went or changed for the worse), or was let go
    // while the view makes none: nothing of it is drawn until a later paint makes it after all.
    void pictureUnavailable();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Shown {
        Bitmap picture;       // held by the view
        PictureHandle handle; // or kept by the shared cache
        QImage displayed;     // the held picture in sRGB
        QPixmap scaled;       // the picture at the fitted size, in device pixels

        QSize size() const;
        bool sameAs(const Shown& other) const;
        bool isNull() const { return picture.isNull() && handle.isNull(); }
    };

    void present(Shown next);
    void display(QImage image);
    void shownAtOnce(QImage image);
    void convertOffMainThread(const Bitmap& picture);
    // Makes the scaled copy of a handed-over handle at `device` pixels, now or off the main thread.
    void scaleFromCache(QSize device);
    void takeScaled(QImage image);

    Shown current_;
    // The picture shown before the current one, kept whole: comparing flips between two, and it
    // stays on screen until the current one can be drawn.
    Shown previous_;
    std::uint64_t generation_ = 0; // which setPicture a conversion belongs to
    QSize scaling_;                // the size being scaled off the main thread for this generation, until it arrives
    bool converting_ = false;      // the current picture is not painted yet: being converted or made
    bool makesLetGo_ = true;
    std::shared_ptr<std::atomic<bool>> inSight_ = std::make_shared<std::atomic<bool>>(true); // read by pool jobs
    WorkPriority priority_ = WorkPriority::userInitiated;
    qreal opacity_ = 1;
};

} // namespace oxel
