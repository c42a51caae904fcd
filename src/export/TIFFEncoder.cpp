#include "TIFFEncoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace oxel {

namespace {

// A growable buffer that libtiff reads, writes and seeks in as if it were a file.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const size_t count = std::min(size_t(size), file->bytes.size() - std::min(file->position, file->bytes.size()));
    if (count > 0) std::memcpy(buffer, file->bytes.data() + file->position, count);
    file->position += count;
    return tmsize_t(count);
}

tmsize_t writeMemory(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const size_t end = file->position + size_t(size);
    try {
        if (end > file->bytes.size()) file->bytes.resize(end);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(file->bytes.data() + file->position, buffer, size_t(size));
    file->position = end;
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const uint64_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->bytes.size() : 0;
    file->position = size_t(base + offset);
    return file->position;
}

int closeMemory(thandle_t) { return 0; }
toff_t sizeOfMemory(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

void reportTIFFError(const char* module, const char* format, va_list arguments)
{
    char message[512];
    std::vsnprintf(message, sizeof message, format, arguments);
    std::fprintf(stderr, "[export] tiff: %s%s%s\n", module ? module : "", module ? ": " : "", message);
}

// One row of RGBX samples as RGB.
template <class Sample>
void dropPadding(const uint8_t* row, int64_t width, std::vector<uint8_t>& out)
{
    const auto* in = reinterpret_cast<const Sample*>(row);
    auto* rgb = reinterpret_cast<Sample*>(out.data());
    for (int64_t x = 0; x < width; ++x) {
        rgb[3 * x] = in[4 * x];
        rgb[3 * x + 1] = in[4 * x + 1];
        rgb[3 * x + 2] = in[4 * x + 2];
    }
}

bool writeImage(TIFF* tiff, const Bitmap& bitmap)
{
    const bool sixteen = bitmap.format() == PixelFormat::RGBX16;
    const int sampleBytes = sixteen ? 2 : 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(bitmap.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(bitmap.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8 * sampleBytes));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    const size_t rowBytes = size_t(bitmap.width()) * 3 * size_t(sampleBytes);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::max<uint32_t>(1, uint32_t((1u << 20) / rowBytes)));
    const auto& icc = bitmap.colourSpace().icc;
    if (!icc.empty()) TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());

    std::vector<uint8_t> row(rowBytes);
    for (int64_t y = 0; y < bitmap.height(); ++y) {
        if (sixteen) dropPadding<uint16_t>(bitmap.row(y), bitmap.width(), row);
        else dropPadding<uint8_t>(bitmap.row(y), bitmap.width(), row);
        if (TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) < 0) return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeTIFF(const Bitmap& bitmap)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16))
        return std::nullopt;
    if (bitmap.width() > 0xFFFFFFFF || bitmap.height() > 0xFFFFFFFF) return std::nullopt;
    static const bool handlersSet = [] {
        TIFFSetErrorHandler(reportTIFFError);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)handlersSet;

    MemoryFile file;
    // Past 4 GB of pixels the classic format can't address the strips: write BigTIFF then.
    const uint64_t pixelBytes = uint64_t(bitmap.width()) * uint64_t(bitmap.height()) * 3 * uint64_t(bytesPerSample(bitmap.format()));
    const char* mode = pixelBytes > 0xF0000000ull ? "w8" : "w";
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFClientOpen("export", mode, &file, readMemory, writeMemory, seekMemory,
                                                               closeMemory, sizeOfMemory, mapNothing, unmapNothing),
                                                TIFFClose);
    if (!tiff || !writeImage(tiff.get(), bitmap)) return std::nullopt;
    tiff.reset();
    return std::move(file.bytes);
}

} // namespace oxel
