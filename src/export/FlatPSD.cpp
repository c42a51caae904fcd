#include "export/FlatPSD.h"

#include "export/OutputFile.h"
#include "export/PSDFormat.h"
#include "platform/AtomicFile.h"

#include <cstring>
#include <vector>

namespace oxel {

namespace {

bool isSupported(PixelFormat format)
{
    switch (format) {
    case PixelFormat::RGB8:
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8:
    case PixelFormat::RGB16:
    case PixelFormat::RGBX16:
    case PixelFormat::RGBA16: return true;
    default: return false;
    }
}

// One colour plane of the bitmap, rows top to bottom, big-endian samples.
void writePlane(const Bitmap& picture, int component, OutputFile& out)
{
    const int sampleBytes = bytesPerSample(picture.format());
    const int pixelBytes = bytesPerPixel(picture.format());
    const size_t width = size_t(picture.width());
    std::vector<uint8_t> row(width * size_t(sampleBytes));
    for (int64_t y = 0; y < picture.height(); ++y) {
        const uint8_t* pixel = picture.row(y) + component * sampleBytes;
        uint8_t* sample = row.data();
        for (size_t x = 0; x < width; ++x, pixel += pixelBytes) {
            if (sampleBytes == 1) {
                *sample++ = *pixel;
            } else {
                uint16_t value;
                std::memcpy(&value, pixel, 2);
                *sample++ = uint8_t(value >> 8);
                *sample++ = uint8_t(value);
            }
        }
        out.write(row.data(), row.size());
    }
}

} // namespace

std::optional<PSDWriterError> writeFlatPSD(const Bitmap& picture, OutputFile& out, double dpi,
                                           std::span<const uint8_t> iptc, std::span<const uint8_t> exif)
{
    if (picture.isNull() || !isSupported(picture.format()))
        return PSDWriterError::io("a flat document takes an 8 or 16-bit RGB picture");
    if (picture.width() > largestSide || picture.height() > largestSide) return PSDWriterError::tooLarge();

    const bool large = needsLargeDocument(picture.width(), picture.height());
    ByteWriter header;
    putFileHeader(header, large, picture.width(), picture.height(), uint16_t(bytesPerSample(picture.format()) * 8));
    std::optional<std::vector<uint8_t>> profile;
    if (!picture.colourSpace().icc.empty()) profile = picture.colourSpace().icc;
    putImageResources(header, dpi, profile, iptc, exif);
    header.putLength(0, large);
    header.putU16(0);

    try {
        out.write(header.bytes.data(), header.size());
        for (int component = 0; component < 3; ++component) writePlane(picture, component, out);
        return std::nullopt;
    } catch (const PSDWriterError& error) {
        return error;
    }
}

std::optional<PSDWriterError> writeFlatPSD(const Bitmap& picture, const std::filesystem::path& path, double dpi,
                                           std::span<const uint8_t> iptc, std::span<const uint8_t> exif)
{
    AtomicFile file(path, hiddenTemporary(".psd.part"));
    if (!file.created()) return PSDWriterError::io(file.failure());
    OutputFile out(file.path(), file.descriptor());
    if (auto error = writeFlatPSD(picture, out, dpi, iptc, exif)) return error;
    if (!file.commit()) return PSDWriterError::io(file.failure());
    return std::nullopt;
}

} // namespace oxel
