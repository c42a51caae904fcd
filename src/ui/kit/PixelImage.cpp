#include "ui/kit/PixelImage.h"

#include "async/NewestFirst.h"
#include "ui/kit/AreaScale.h"
#include "ui/kit/DisplayPicture.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include <cmath>
#include <utility>

namespace oxel {

QSize PixelImage::Shown::size() const
{
    if (!picture.isNull()) return {int(picture.width()), int(picture.height())};
    return {int(handle.width()), int(handle.height())};
}

bool PixelImage::Shown::sameAs(const Shown& other) const
{
    if (!handle.isNull() || !other.handle.isNull()) return handle == other.handle;
    return sameDisplayIdentity(picture, other.picture);
}

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
    Shown next;
    next.picture = picture;
    present(std::move(next));
}

void PixelImage::setPicture(const PictureHandle& picture)
{
    Shown next;
    next.handle = picture;
    present(std::move(next));
}

void PixelImage::present(Shown next)
{
    if (next.sameAs(current_)) {
        // Already shown, or announced when its conversion arrives.
        if (!converting_) Q_EMIT pictureShown();
        return;
    }
    ++generation_;
    scaling_ = {};
    converting_ = false;
    // Back to the picture shown before: at once, with what was made of it then.
    const bool previousReady = !previous_.scaled.isNull() || !previous_.displayed.isNull();
    if (!next.isNull() && previousReady && next.sameAs(previous_)) {
        std::swap(current_, previous_);
        update();
        Q_EMIT pictureShown();
        return;
    }
    previous_ = std::move(current_);
    current_ = std::move(next);
    if (current_.isNull()) return shownAtOnce({});
    if (!current_.picture.isNull()) {
        if (auto wrapped = wrappedForDisplay(current_.picture)) return shownAtOnce(std::move(*wrapped));
        convertOffMainThread(current_.picture);
    }
    // Converted off the main thread, or, for a handle, scaled when the view next paints.
    converting_ = true;
    update();
}

void PixelImage::shownAtOnce(QImage image)
{
    display(std::move(image));
    Q_EMIT pictureShown();
}

void PixelImage::convertOffMainThread(const Bitmap& picture)
{
    const QPointer<PixelImage> view(this);
    NewestFirst::shared(priority_).submit([view, picture, generation = generation_] {
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
    current_.displayed = std::move(image);
    current_.scaled = QPixmap();
    update();
}

void PixelImage::scaleFromCache(QSize device)
{
    if (const auto held = current_.handle.heldPin()) {
        if (auto wrapped = wrappedForDisplay(held.bitmap())) return takeScaled(areaScaled(*wrapped, device));
    }
    // Made again, or converted, off the main thread; asked once per picture and size until it
    // arrives, and again at a later paint when it could not be made.
    if (scaling_ == device) return;
    scaling_ = device;
    const QPointer<PixelImage> view(this);
    NewestFirst::shared(priority_).submit(
        [view, handle = current_.handle, device, generation = generation_, makes = makesLetGo_, inSight = inSight_] {
            QImage scaled;
            const bool mayMake = makes && inSight->load();
            auto pinned = mayMake ? handle.pin() : handle.heldPin();
            const bool passedOver = !pinned && makes && !mayMake;
            // The picture is let go before the view hears of it, so the view
            // and whatever follows find the cache as it stays.
            if (pinned) scaled = scaledForDisplay(pinned.bitmap(), device);
            pinned = {};
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [view, generation, device, passedOver, scaled = std::move(scaled)]() mutable {
                    if (!view || view->generation_ != generation) return;
                    if (view->scaling_ == device) view->scaling_ = {};
                    if (passedOver) {
                        // Back in sight meanwhile: its next paint asks again.
                        if (view->inSight_->load()) view->update();
                        return;
                    }
                    if (scaled.isNull()) {
                        Q_EMIT view->pictureUnavailable();
                        return;
                    }
                    view->takeScaled(std::move(scaled));
                    view->update();
                },
                Qt::QueuedConnection);
        });
}

void PixelImage::setInSight(bool inSight)
{
    if (inSight_->exchange(inSight) == inSight) return;
    if (inSight && !current_.handle.isNull() && current_.scaled.isNull()) update();
}

void PixelImage::releaseScaled()
{
    current_.scaled = QPixmap();
    previous_.scaled = QPixmap();
    // A handle's picture is not drawn again until a paint makes its copy: handed over again
    // meanwhile, it is announced then, so a view out of sight never answers at once.
    if (!current_.handle.isNull()) converting_ = true;
}

void PixelImage::takeScaled(QImage image)
{
    current_.scaled = QPixmap::fromImage(std::move(image));
    current_.scaled.setDevicePixelRatio(devicePixelRatioF());
    if (std::exchange(converting_, false)) Q_EMIT pictureShown();
}

void PixelImage::paintEvent(QPaintEvent*)
{
    const qreal ratio = devicePixelRatioF();
    const auto deviceSize = [&](const Shown& shown) -> std::optional<std::pair<QRectF, QSize>> {
        const QRectF target = fittedRect(shown.size(), size());
        if (target.width() <= 0) return std::nullopt;
        return std::pair{target, QSize((target.size() * ratio).toSize().expandedTo(QSize(1, 1)))};
    };
    const auto current = deviceSize(current_);
    if (!current) return;
    const auto& [target, device] = *current;
    if (current_.scaled.size() != device) {
        if (!current_.displayed.isNull())
            takeScaled(areaScaled(current_.displayed, device));
        else if (!current_.handle.isNull())
            scaleFromCache(device);
    }
    QPainter painter(this);
    painter.setOpacity(opacity_);
    if (current_.scaled.size() == device) return painter.drawPixmap(target.topLeft(), current_.scaled);
    if (!current_.scaled.isNull()) return painter.drawPixmap(target, current_.scaled, current_.scaled.rect());
    // Until the current picture can be drawn, the one before stays.
    if (const auto previous = deviceSize(previous_); previous && !previous_.scaled.isNull())
        painter.drawPixmap(previous->first, previous_.scaled, previous_.scaled.rect());
}

void PixelImage::setOpacity(qreal opacity)
{
    if (opacity_ == opacity) return;
    opacity_ = opacity;
    update();
}

} // namespace oxel
