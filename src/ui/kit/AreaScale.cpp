#include "ui/kit/AreaScale.h"

#include "imaging/AreaAverage.h"

#include <QColorSpace>

namespace oxel {
namespace {

// Samples a pixel of the formats whose samples average on their own; 0 for any other format.
int samplesPerPixel(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied: return 4;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: return 3;
    default: return 0;
    }
}

} // namespace

QImage areaScaled(const QImage& image, QSize size)
{
    if (image.isNull() || size.isEmpty()) return {};
    if (size == image.size()) return image;
    const int channels = samplesPerPixel(image.format());
    if (channels == 0 || size.width() > image.width() || size.height() > image.height())
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage scaled(size, image.format());
    if (scaled.isNull()) return {};
    const PixelRows from{image.constBits(), size_t(image.bytesPerLine()), image.width(), image.height(), channels};
    areaAverage(from, size.width(), size.height(), channels, scaled.bits(), size_t(scaled.bytesPerLine()));
    scaled.setColorSpace(image.colorSpace());
    return scaled;
}

} // namespace oxel
