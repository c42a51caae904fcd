#include "develop/codecs/JPEGEncoder.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>

namespace oxel {

namespace {

struct ErrorJump {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

struct Compressor {
    ErrorJump error;
    jpeg_compress_struct info{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;

    Compressor()
    {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = onError;
        jpeg_create_compress(&info);
        jpeg_mem_dest(&info, &buffer, &size);
    }
    ~Compressor()
    {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

struct Layout {
    int components;
    J_COLOR_SPACE space;
};

std::optional<Layout> layoutOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8: return Layout{1, JCS_GRAYSCALE};
    case PixelFormat::RGB8: return Layout{3, JCS_RGB};
    case PixelFormat::RGBX8: return Layout{4, JCS_EXT_RGBX};
    case PixelFormat::RGBA8: return Layout{4, JCS_EXT_RGBA};
    default: return std::nullopt;
    }
}

// Readers that look only at the JFIF header find the resolution there too.
void setDensity(jpeg_compress_struct& info, double dpi)
{
    const long density = std::isfinite(dpi) ? std::lround(dpi) : 0;
    if (density < 1 || density > 65535) return;
    info.write_JFIF_header = TRUE;
    info.density_unit = 1; // dots per inch
    info.X_density = UINT16(density);
    info.Y_density = UINT16(density);
}

// libjpeg reports errors by jumping back here; this frame holds nothing that needs destroying.
bool compress(Compressor& c, const Bitmap& bitmap, int quality, const std::vector<uint8_t>& icc, double dpi)
{
    if (setjmp(c.error.jump)) return false;
    c.info.image_width = JDIMENSION(bitmap.width());
    c.info.image_height = JDIMENSION(bitmap.height());
    const auto layout = layoutOf(bitmap.format());
    c.info.input_components = layout->components;
    c.info.in_color_space = layout->space;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, quality, TRUE);
    if (layout->space != JCS_GRAYSCALE) {
        const int chroma = quality >= 90 ? 1 : 2;
        c.info.comp_info[0].h_samp_factor = chroma;
        c.info.comp_info[0].v_samp_factor = chroma;
    }
    c.info.dct_method = JDCT_ISLOW;
    setDensity(c.info, dpi);
    jpeg_start_compress(&c.info, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&c.info, icc.data(), unsigned(icc.size()));
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.row(c.info.next_scanline));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeJPEG(const Bitmap& bitmap, int quality, const std::vector<uint8_t>& icc,
                                               double dpi)
{
    if (bitmap.isNull() || !layoutOf(bitmap.format())) return std::nullopt;
    if (bitmap.width() > 65500 || bitmap.height() > 65500) return std::nullopt;
    Compressor c;
    if (!compress(c, bitmap, quality, icc, dpi)) return std::nullopt;
    return std::vector<uint8_t>(c.buffer, c.buffer + c.size);
}

int jpegQuality(double fraction)
{
    if (!(fraction >= 0)) return 1;
    return int(std::clamp<long>(std::lround(std::min(fraction, 1.0) * 100), 1, 100));
}

} // namespace oxel
