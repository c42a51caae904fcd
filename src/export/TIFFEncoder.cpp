#include "export/TIFFEncoder.h"

#include "platform/Diagnostics.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace oxel {

namespace {

void reportTIFFError(const char* module, const char* format, va_list arguments)
{
    char message[512];
    std::vsnprintf(message, sizeof message, format, arguments);
    diagnose("export", std::string("tiff: ") + (module ? module : "") + (module ? ": " : "") + message);
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

bool writeImage(TIFF* tiff, const Bitmap& bitmap, double dpi)
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
    if (dpi > 0 && std::isfinite(dpi)) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(dpi));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(dpi));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }

    std::vector<uint8_t> row(rowBytes);
    for (int64_t y = 0; y < bitmap.height(); ++y) {
        if (sixteen)
            dropPadding<uint16_t>(bitmap.row(y), bitmap.width(), row);
        else
            dropPadding<uint8_t>(bitmap.row(y), bitmap.width(), row);
        if (TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) < 0) return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

} // namespace

TIFFWriter writeTIFFThrough(int descriptor, const std::filesystem::path& name, bool big)
{
    // The library closes the descriptor it was given: it gets a duplicate, which shares the open
    // file (and its offset) with the owner's.
    const int duplicate = ::dup(descriptor);
    if (duplicate < 0) return {nullptr, TIFFClose};
    TIFF* tiff = TIFFFdOpen(duplicate, name.c_str(), big ? "w8" : "w");
    if (!tiff) ::close(duplicate);
    return {tiff, TIFFClose};
}

bool encodeTIFF(const Bitmap& bitmap, int descriptor, const std::filesystem::path& name, double dpi)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16))
        return false;
    if (bitmap.width() > 0xFFFFFFFF || bitmap.height() > 0xFFFFFFFF) return false;
    static const bool handlersSet = [] {
        TIFFSetErrorHandler(reportTIFFError);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)handlersSet;

    // Past 4 GB of pixels the classic format can't address the strips: write BigTIFF then.
    const uint64_t pixelBytes =
        uint64_t(bitmap.width()) * uint64_t(bitmap.height()) * 3 * uint64_t(bytesPerSample(bitmap.format()));
    const TIFFWriter tiff = writeTIFFThrough(descriptor, name, pixelBytes > 0xF0000000ull);
    if (!tiff || !writeImage(tiff.get(), bitmap, dpi)) return false;
    // Whatever is still buffered is written now, where a failure can still be seen.
    return TIFFFlush(tiff.get()) == 1;
}

} // namespace oxel
