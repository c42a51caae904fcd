#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/PhotoshopResources.h"
#include "develop/codecs/PictureCodec.h"

#include <cstdio>
// jpeglib.h needs stdio; jerror.h needs jpeglib.h.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>

namespace oxel::jpeg {

namespace {

struct ErrorTrap {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    int warnings = 0;
};

void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1);
}

// Warnings that mean the pixels are not all there. Stray bytes between segments, an unknown
// Adobe transform code or a bad ICC chunk leave the picture whole, and files from real cameras
// carry them.
bool meansDamagedPixels(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION: return true;
    default: return false;
    }
}

void onMessage(j_common_ptr info, int level)
{
    if (level < 0 && meansDamagedPixels(info->err->msg_code)) ++reinterpret_cast<ErrorTrap*>(info->err)->warnings;
}

std::optional<double> dpiFromJfif(const std::vector<JPEGSegment>& segments)
{
    for (const JPEGSegment& segment : segments) {
        const auto body = segment.isApp(0) ? segment.afterSignature({"JFIF\0", 5}) : std::span<const uint8_t>();
        if (body.size() < 7) continue;
        const int unit = body[2];
        const int density = body[3] << 8 | body[4];
        if (density == 0) return std::nullopt;
        if (unit == 1) return double(density);
        if (unit == 2) return density * 2.54;
        return std::nullopt;
    }
    return std::nullopt;
}

Metadata metadataOf(const std::vector<JPEGSegment>& segments)
{
    Metadata metadata;
    for (const JPEGSegment& segment : segments) {
        if (segment.isApp(1) && segment.hasSignature(jpegExifSignature)) {
            if (auto exif = Metadata::fromExif(segment.afterSignature(jpegExifSignature))) metadata.merge(*exif);
        } else if (segment.isApp(13) && segment.hasSignature(jpegPhotoshopSignature)) {
            const auto resources = photoshopResources(segment.afterSignature(jpegPhotoshopSignature));
            if (auto iptc = findResource(resources, photoshopResourceID::iptc))
                if (auto decoded = Metadata::fromIptc(*iptc)) metadata.merge(*decoded);
        }
    }
    if (auto packet = jpegXmpPacket(segments))
        if (auto xmp = Metadata::fromXmp(*packet)) metadata.merge(*xmp);
    return metadata;
}

} // namespace

int scaleEighths(int64_t longSide, int64_t minLongSide)
{
    if (minLongSide <= 0) return 8;
    for (int m = 1; m < 8; ++m)
        if ((longSide * m + 7) / 8 >= minLongSide) return m;
    return 8;
}

std::optional<PictureHeader> readHeader(std::span<const uint8_t> file)
{
    const auto segments = jpegSegments(file);
    if (!segments) return std::nullopt;
    const auto frame = jpegFrame(*segments);
    if (!frame || frame->width == 0 || frame->height == 0) return std::nullopt;
    if (frame->components != 1 && frame->components != 3 && frame->components != 4) return std::nullopt;
    PictureHeader header;
    header.width = frame->width;
    header.height = frame->height;
    header.bitsPerComponent = frame->precision;
    header.model = frame->components == 1   ? ColourModel::grey
                   : frame->components == 4 ? ColourModel::cmyk
                                            : ColourModel::rgb;
    header.icc = jpegICCProfile(*segments);
    header.metadata = metadataOf(*segments);
    header.orientation = header.metadata.orientation();
    header.dpi = dpiFromJfif(*segments);
    return header;
}

namespace {

// libjpeg reports errors by jumping back to setjmp: each stage lives in its own function whose
// frame holds nothing that needs destroying, so the jump skips no destructor.
struct Decompressor {
    ErrorTrap trap;
    jpeg_decompress_struct info{};

    Decompressor()
    {
        info.err = jpeg_std_error(&trap.manager);
        trap.manager.error_exit = onError;
        trap.manager.emit_message = onMessage;
        jpeg_create_decompress(&info);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

bool startReading(Decompressor& d, std::span<const uint8_t> file, int64_t minLongSide)
{
    if (setjmp(d.trap.jump)) return false;
    jpeg_mem_src(&d.info, file.data(), (unsigned long)file.size());
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
    const int components = d.info.num_components;
    if (components != 1 && components != 3 && components != 4) return false;
    d.info.out_color_space = components == 4 ? JCS_CMYK : components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    d.info.scale_num = unsigned(scaleEighths(std::max(d.info.image_width, d.info.image_height), minLongSide));
    d.info.scale_denom = 8;
    jpeg_calc_output_dimensions(&d.info);
    return true;
}

// The rows in turns of up to 16, through `turn`, each handed on as soon as its turn is read.
bool readRows(Decompressor& d, const std::vector<JSAMPROW>& turn, const RowReader& reader)
{
    if (setjmp(d.trap.jump)) return false;
    jpeg_start_decompress(&d.info);
    while (d.info.output_scanline < d.info.output_height) {
        const unsigned read = jpeg_read_scanlines(&d.info, const_cast<JSAMPROW*>(turn.data()), JDIMENSION(turn.size()));
        for (unsigned i = 0; i < read; ++i) reader.take(turn[i]);
    }
    jpeg_finish_decompress(&d.info);
    return d.trap.warnings == 0;
}

bool readPixels(Decompressor& d, const Samples& samples)
{
    if (setjmp(d.trap.jump)) return false;
    jpeg_start_decompress(&d.info);
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW rows[16];
        const unsigned batch = std::min(16u, d.info.output_height - d.info.output_scanline);
        for (unsigned i = 0; i < batch; ++i) rows[i] = samples.row(d.info.output_scanline + i);
        jpeg_read_scanlines(&d.info, rows, batch);
    }
    jpeg_finish_decompress(&d.info);
    return d.trap.warnings == 0;
}

void invert(const Samples& samples)
{
    uint8_t* p = samples.data.get();
    const size_t count = samples.rowBytes() * size_t(samples.height);
    for (size_t i = 0; i < count; ++i) p[i] = uint8_t(255 - p[i]);
}

// Starts a decode at the scale for `minLongSide`, once the file passed the checks that keep a
// damaged stream from costing more than its size.
bool started(Decompressor& d, std::span<const uint8_t> file, int64_t minLongSide)
{
    if (!jpegDecodingIsBounded(file) || !startReading(d, file, minLongSide)) return false;
    // Every block needs at least one bit of coded data: a stream far too short for the size it
    // claims is damaged, and must not make us allocate for that size.
    const uint64_t blocks = uint64_t((d.info.image_width + 7) / 8) * ((d.info.image_height + 7) / 8);
    return blocks / 8 <= file.size();
}

// The decode's samples without their data.
Samples layoutOf(const Decompressor& d)
{
    const int components = d.info.output_components;
    Samples layout;
    layout.width = d.info.output_width;
    layout.height = d.info.output_height;
    layout.channels = components;
    layout.model = components == 4 ? ColourModel::cmyk : components == 1 ? ColourModel::grey : ColourModel::rgb;
    return layout;
}

} // namespace

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide)
{
    Decompressor d;
    if (!started(d, file, minLongSide)) return std::nullopt;
    const Samples layout = layoutOf(d);
    const auto samples = Samples::allocate(layout.width, layout.height, layout.channels, 8, layout.model);
    if (!samples || !readPixels(d, *samples)) return std::nullopt;
    // Adobe's CMYK JPEGs store inverted ink; the others store ink as it is.
    if (layout.model == ColourModel::cmyk && d.info.saw_Adobe_marker) invert(*samples);
    return samples;
}

bool decodeRows(std::span<const uint8_t> file, int64_t minLongSide, const RowReader& reader)
{
    Decompressor d;
    if (!started(d, file, minLongSide)) return false;
    const Samples layout = layoutOf(d);
    // Inverted ink is turned back only on a whole picture.
    if (layout.model == ColourModel::cmyk || !DecodeLimits::allow(layout.width, layout.height) ||
        !reader.accepts(layout))
        return false;
    std::vector<uint8_t> rows(16 * layout.rowBytes());
    std::vector<JSAMPROW> turn;
    for (size_t i = 0; i < 16; ++i) turn.push_back(rows.data() + i * layout.rowBytes());
    return readRows(d, turn, reader);
}

} // namespace oxel::jpeg
