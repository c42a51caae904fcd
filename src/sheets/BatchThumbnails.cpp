#include "sheets/BatchThumbnails.h"

#include "async/Offload.h"
#include "develop/codecs/FileBytes.h"
#include "develop/codecs/PictureCodec.h"

#include <cmath>

namespace oxel {
namespace {

bool startsLikeJPEG(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

std::optional<QImage> imageOf(const Samples& samples)
{
    if (samples.bits != 8) return std::nullopt;
    QImage::Format format = QImage::Format_Invalid;
    if (samples.channels == 3) format = QImage::Format_RGB888;
    if (samples.channels == 1) format = QImage::Format_Grayscale8;
    if (format == QImage::Format_Invalid) return std::nullopt;
    const QImage wrapped(samples.data.get(), int(samples.width), int(samples.height), qsizetype(samples.rowBytes()),
                         format);
    return wrapped.copy();
}

} // namespace

std::optional<QImage> decodeThumbnail(const std::filesystem::path& file, int edge)
{
    auto bytes = FileBytes::map(file);
    if (!bytes || !startsLikeJPEG(bytes->span())) return std::nullopt;
    auto samples = jpeg::decode(bytes->span(), edge);
    if (!samples) return std::nullopt;
    auto image = imageOf(*samples);
    if (!image || image->isNull()) return std::nullopt;
    return image->scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

BatchThumbnails::BatchThumbnails(double devicePixelRatio)
    : edge_(int(std::ceil(cellSide * devicePixelRatio))), devicePixelRatio_(devicePixelRatio)
{}

std::optional<QImage> BatchThumbnails::picture(const std::filesystem::path& file)
{
    if (auto found = known_.find(file); found != known_.end()) return found->second;
    if (pending_.insert(file).second) tasks_.spawn(decode(file));
    return std::nullopt;
}

Task<void> BatchThumbnails::decode(std::filesystem::path file)
{
    // Named first: g++ 12 destroys a capturing lambda made inside the awaited expression twice.
    auto read = [file, edge = edge_] { return decodeThumbnail(file, edge); };
    auto image = co_await offload(WorkPriority::userInitiated, std::move(read));
    QImage shown = image.value_or(QImage());
    if (!shown.isNull()) shown.setDevicePixelRatio(devicePixelRatio_);
    known_[file] = shown;
    pending_.erase(file);
    arrived.emit(file);
}

} // namespace oxel
