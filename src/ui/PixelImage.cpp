#include "ui/PixelImage.h"

#include "async/WorkPool.h"
#include "ui/AreaScale.h"
#include "ui/DisplayPicture.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include <cmath>

namespace oxel {

PixelImage::PixelImage(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QRectF PixelImage::fittedRect(QSizeF picture, QSizeF bounds)
{
    if (picture.width() < 1 || picture.height() < 1 || bounds.width() <= 0 || bounds.height() <= 0) return {};
    const qreal scale = std::min(bounds.width() / picture.width(), bounds.height() / picture.height());
    const QSizeF drawn = picture * scale;
    return {QPointF((bounds.width() - drawn.width()) / 2, (bounds.height() - drawn.height()) / 2), drawn};
}

void PixelImage::setPicture(const Bitmap& picture)
{
    if (sameDisplayIdentity(picture, picture_)) {
        // Already shown, or announced when its conversion arrives.
        if (!converting_) Q_EMIT pictureShown();
        return;
    }
    ++generation_;
    converting_ = false;
    if (!picture.isNull() && !previous_.displayed.isNull() && sameDisplayIdentity(picture, previous_.picture)) {
        std::swap(picture_, previous_.picture);
        std::swap(displayed_, previous_.displayed);
        std::swap(scaled_, previous_.scaled);
        update();
        Q_EMIT pictureShown();
        return;
    }
    previous_ = {picture_, displayed_, scaled_};
    picture_ = picture;
    if (picture.isNull()) return shownAtOnce({});
    if (auto wrapped = wrappedForDisplay(picture)) return shownAtOnce(std::move(*wrapped));
    converting_ = true;
    convertOffMainThread(picture);
}

void PixelImage::shownAtOnce(QImage image)
{
    display(std::move(image));
    Q_EMIT pictureShown();
}

void PixelImage::convertOffMainThread(const Bitmap& picture)
{
    const QPointer<PixelImage> view(this);
    WorkPool::shared().submit(WorkPriority::userInitiated, [view, picture, generation = generation_] {
        auto converted = convertedForDisplay(picture);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [view, generation, image = converted.value_or(QImage())]() mutable {
                if (!view || view->generation_ != generation) return;
                view->converting_ = false;
                view->display(std::move(image));
                Q_EMIT view->pictureShown();
            },
            Qt::QueuedConnection);
    });
}

void PixelImage::display(QImage image)
{
    displayed_ = std::move(image);
    scaled_ = QPixmap();
    update();
}

void PixelImage::paintEvent(QPaintEvent*)
{
    const QRectF target = fittedRect(displayed_.size(), size());
    if (target.width() <= 0) return;
    const qreal ratio = devicePixelRatioF();
    const QSize device((target.size() * ratio).toSize().expandedTo(QSize(1, 1)));
    if (scaled_.isNull() || scaled_.size() != device) {
        scaled_ = QPixmap::fromImage(areaScaled(displayed_, device));
        scaled_.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.setOpacity(opacity_);
    painter.drawPixmap(target.topLeft(), scaled_);
}

void PixelImage::setOpacity(qreal opacity)
{
    if (opacity_ == opacity) return;
    opacity_ = opacity;
    update();
}

} // namespace oxel
