#include "develop/codecs/PictureCodec.h"

#include "develop/codecs/BlockAverager.h"

#include <algorithm>
#include <cstdlib>

namespace oxel {

std::optional<Samples> Samples::allocate(int64_t width, int64_t height, int channels, int bits, ColourModel model,
                                         bool hasAlpha)
{
    if (!DecodeLimits::allow(width, height) || channels < 1 || channels > 8 || (bits != 8 && bits != 16 && bits != 32))
        return std::nullopt;
    Samples samples;
    samples.width = width;
    samples.height = height;
    samples.channels = channels;
    samples.bits = bits;
    samples.model = model;
    samples.hasAlpha = hasAlpha;
    const size_t bytes = samples.rowBytes() * size_t(height);
    // calloc: large blocks come zeroed from the system without a pass over them.
    auto* memory = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (!memory) return std::nullopt;
    samples.data = std::shared_ptr<uint8_t>(memory, [](uint8_t* p) { std::free(p); });
    return samples;
}

std::optional<PictureCodec> codecFor(FileType type)
{
    switch (type) {
    case FileType::jpeg: return PictureCodec{jpeg::readHeader, jpeg::decode, jpeg::decodeRows};
    case FileType::png: return PictureCodec{png::readHeader, png::decode};
    case FileType::tiff: return PictureCodec{tiff::readHeader, tiff::decode};
    case FileType::heic:
    case FileType::heif: return PictureCodec{heif::readHeader, heif::decode};
    case FileType::psd:
    case FileType::psb: return PictureCodec{psd::readHeader, psd::decode};
    case FileType::cameraRaw: return std::nullopt;
    }
    return std::nullopt;
}

std::string reducedDecodeName(FileType type, int64_t width, int64_t height, int64_t minLongSide)
{
    switch (type) {
    case FileType::jpeg: return "eighths " + std::to_string(jpeg::scaleEighths(std::max(width, height), minLongSide));
    case FileType::png:
    case FileType::tiff:
    case FileType::psd:
    case FileType::psb: return "factor " + std::to_string(BlockAverager::factorFor(width, height, minLongSide));
    default: return "at least " + std::to_string(minLongSide);
    }
}

} // namespace oxel
