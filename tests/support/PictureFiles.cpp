#include "support/PictureFiles.h"

#include "develop/codecs/MultiPictureIndex.h"

#include <jpeglib.h>
#include <lcms2.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace oxel::test {

double gradient(int x, int y, int c, int width, int height)
{
    const double u = (x + 0.5) / width, v = (y + 0.5) / height;
    switch (c) {
    case 0: return u;
    case 1: return v;
    case 2: return 0.25 + 0.5 * u * v;
    default: return 0.1 + 0.8 * (1 - u) * v;
    }
}

Pattern gradientOf(int width, int height)
{
    return [width, height](int x, int y, int c) { return gradient(x, y, c, width, height); };
}

namespace {

uint8_t to8(double v)
{
    return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}
uint16_t to16(double v)
{
    return uint16_t(std::lround(std::clamp(v, 0.0, 1.0) * 65535));
}

} // namespace

Bytes encodeJPEG(int width, int height, const Pattern& pattern, const JPEGOptions& options)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = options.components;
    cinfo.in_color_space = options.components == 1 ? JCS_GRAYSCALE : options.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!options.exif.empty()) {
        Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
        app1.insert(app1.end(), options.exif.begin(), options.exif.end());
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), unsigned(app1.size()));
    }
    for (const Bytes& segment : options.extraSegments)
        jpeg_write_marker(&cinfo, segment[1], segment.data() + 4, unsigned(segment.size() - 4));
    if (!options.icc.empty()) jpeg_write_icc_profile(&cinfo, options.icc.data(), unsigned(options.icc.size()));
    std::vector<uint8_t> row(size_t(width) * size_t(options.components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < options.components; ++c) {
                const double v = pattern(x, y, c);
                // Adobe CMYK JPEGs store inverted ink, and readers expect it that way.
                row[size_t(x) * options.components + c] = options.components == 4 ? uint8_t(255 - to8(v)) : to8(v);
            }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}

Bytes encodePNG(int width, int height, const Pattern& pattern, const PNGOptions& options)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    const int colourType = options.channels == 1   ? PNG_COLOR_TYPE_GRAY
                           : options.channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                           : options.channels == 4 ? PNG_COLOR_TYPE_RGBA
                                                   : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), options.bitDepth, colourType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!options.icc.empty())
        png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE, options.icc.data(), png_uint_32(options.icc.size()));
    if (options.sRGBChunk) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const int bytesPerSample = options.bitDepth / 8;
    const bool hasAlpha = options.channels == 2 || options.channels == 4;
    const size_t rowBytes = size_t(width) * options.channels * bytesPerSample;
    std::vector<uint8_t> rows(rowBytes * size_t(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rows.data() + size_t(y) * rowBytes;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < options.channels; ++c) {
                const size_t i = (size_t(x) * options.channels + c) * bytesPerSample;
                const bool isAlpha = hasAlpha && c == options.channels - 1;
                const double v = !isAlpha ? pattern(x, y, c) : options.alphaFromPattern ? pattern(x, y, 3) : 1.0;
                if (bytesPerSample == 1) {
                    row[i] = to8(v);
                } else {
                    const uint16_t s = to16(v);
                    row[i] = uint8_t(s >> 8);
                    row[i + 1] = uint8_t(s);
                }
            }
    }
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < height; ++y) png_write_row(png, rows.data() + size_t(y) * rowBytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes encodeTIFF(int width, int height, const Pattern& pattern, const TIFFOptions& options)
{
    TempFolder folder;
    const auto path = folder / "picture.tif";
    TIFF* tiff = TIFFOpen(path.c_str(), options.large ? "w8" : "w");
    if (!tiff) throw std::runtime_error("cannot write a TIFF");
    const int spp = options.samplesPerPixel, bits = options.bitsPerSample;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, uint16_t(bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    const bool lab = options.photometric == PHOTOMETRIC_CIELAB;
    const int colours = options.alpha ? spp - 1 : spp;
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 uint16_t(lab                   ? PHOTOMETRIC_CIELAB
                          : options.whiteIsZero ? PHOTOMETRIC_MINISWHITE
                          : colours == 1        ? PHOTOMETRIC_MINISBLACK
                          : colours == 4        ? PHOTOMETRIC_SEPARATED
                                                : PHOTOMETRIC_RGB));
    if (options.alpha) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    if (options.palette) {
        if (spp != 1 || bits != 8) throw std::runtime_error("a palette TIFF has one 8-bit sample a pixel");
        std::vector<uint16_t> red(256), green(256), blue(256);
        for (int i = 0; i < 256; ++i) {
            red[size_t(i)] = uint16_t(i * 257);
            green[size_t(i)] = uint16_t((255 - i) * 257);
            blue[size_t(i)] = uint16_t((i * 3 % 256) * 257);
        }
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
        TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(options.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(options.orientation));
    if (options.tileSize > 0) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, uint32_t(options.tileSize));
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, uint32_t(options.tileSize));
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
    }
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    if (options.dpi > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(options.dpi));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(options.dpi));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    }
    if (!options.icc.empty()) TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(options.icc.size()), options.icc.data());
    if (!options.iptc.empty())
        TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, uint32_t(options.iptc.size()), options.iptc.data());
    if (!options.photoshopResources.empty())
        TIFFSetField(tiff, TIFFTAG_PHOTOSHOP, uint32_t(options.photoshopResources.size()),
                     options.photoshopResources.data());
    const int bytesPerSample = bits / 8;
    const int planes = options.planar ? spp : 1, perPlane = options.planar ? 1 : spp;
    const size_t rowBytes = size_t(width) * perPlane * bytesPerSample;
    for (int plane = 0; plane < planes; ++plane) {
        std::vector<uint8_t> rows(rowBytes * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < perPlane; ++k) {
                    const int c = options.planar ? plane : k;
                    const double v = options.alpha && c == spp - 1 ? pattern(x, y, 3) : pattern(x, y, c);
                    uint8_t* p = rows.data() + size_t(y) * rowBytes + (size_t(x) * perPlane + k) * bytesPerSample;
                    if (lab && c > 0)
                        *p = uint8_t(int8_t(std::lround(v * 127))); // a and b are signed
                    else if (bits == 8)
                        *p = to8(v);
                    else if (bits == 16) {
                        const uint16_t s = to16(v);
                        std::memcpy(p, &s, 2);
                    } else {
                        const float f = float(v);
                        std::memcpy(p, &f, 4);
                    }
                }
        if (options.tileSize <= 0) {
            for (int y = 0; y < height; ++y)
                TIFFWriteScanline(tiff, rows.data() + size_t(y) * rowBytes, uint32_t(y), uint16_t(plane));
            continue;
        }
        const size_t side = size_t(options.tileSize), pixelBytes = size_t(perPlane) * bytesPerSample;
        for (int ty = 0; ty < height; ty += options.tileSize)
            for (int tx = 0; tx < width; tx += options.tileSize) {
                std::vector<uint8_t> tile(side * side * pixelBytes);
                for (int y = ty; y < std::min(height, ty + options.tileSize); ++y)
                    std::memcpy(tile.data() + size_t(y - ty) * side * pixelBytes,
                                rows.data() + size_t(y) * rowBytes + size_t(tx) * pixelBytes,
                                size_t(std::min(width - tx, options.tileSize)) * pixelBytes);
                TIFFWriteTile(tiff, tile.data(), uint32_t(tx), uint32_t(ty), 0, uint16_t(plane));
            }
    }
    TIFFClose(tiff);
    return readFile(path);
}

Bytes heifFileBytes(heif_context* context)
{
    Bytes out;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        auto* bytes = static_cast<Bytes*>(userdata);
        bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
    };
    heif_context_write(context, &writer, &out);
    return out;
}

namespace {

heif_image* heifImageOf(int width, int height, const Pattern& pattern, int bitDepth)
{
    heif_image* image = nullptr;
    const bool deep = bitDepth > 8;
    heif_image_create(width, height, heif_colorspace_RGB,
                      deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, bitDepth);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int maximum = (1 << bitDepth) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = int(std::lround(std::clamp(pattern(x, y, c), 0.0, 1.0) * maximum));
                if (deep)
                    reinterpret_cast<uint16_t*>(plane + size_t(y) * stride)[x * 3 + c] = uint16_t(v);
                else
                    plane[size_t(y) * stride + size_t(x) * 3 + c] = uint8_t(v);
            }
    return image;
}

} // namespace

Bytes encodeHeic(int width, int height, const Pattern& pattern, const HeicOptions& options)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, options.quality);
    heif_image* image = heifImageOf(width, height, pattern, options.bitDepth);
    if (!options.icc.empty()) heif_image_set_raw_color_profile(image, "prof", options.icc.data(), options.icc.size());
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, image, encoder, nullptr, &handle);
    if (options.thumbnailWidth > 0 && options.thumbnailHeight > 0) {
        // libheif scales what it is given into the box; twice the size gives the size asked for.
        heif_image* drawn =
            heifImageOf(options.thumbnailWidth * 2, options.thumbnailHeight * 2, pattern, options.bitDepth);
        heif_image_handle* thumbnail = nullptr;
        heif_context_encode_thumbnail(context, drawn, handle, encoder, nullptr,
                                      std::max(options.thumbnailWidth, options.thumbnailHeight), &thumbnail);
        heif_image_handle_release(thumbnail);
        heif_image_release(drawn);
    }
    if (!options.exif.empty()) {
        Bytes exif = {0, 0, 0, 0};
        exif.insert(exif.end(), options.exif.begin(), options.exif.end());
        heif_context_add_exif_metadata(context, handle, exif.data(), int(exif.size()));
    }
    const Bytes out = heifFileBytes(context);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

namespace {

void put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void put32(Bytes& b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}

void putResource(Bytes& b, uint16_t id, const Bytes& data)
{
    b.insert(b.end(), {'8', 'B', 'I', 'M'});
    put16(b, id);
    put16(b, 0); // empty name, padded
    put32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2) b.push_back(0);
}

// PackBits of one row: literal runs only, at most 128 bytes each, and repeats of three or more.
Bytes packBits(const Bytes& row)
{
    Bytes out;
    size_t i = 0;
    while (i < row.size()) {
        size_t run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < row.size() && literal < 128) {
            if (i + literal + 2 < row.size() && row[i + literal] == row[i + literal + 1] &&
                row[i + literal] == row[i + literal + 2])
                break;
            ++literal;
        }
        out.push_back(uint8_t(literal - 1));
        out.insert(out.end(), row.begin() + long(i), row.begin() + long(i + literal));
        i += literal;
    }
    return out;
}

} // namespace

Bytes encodePSD(int width, int height, const Pattern& pattern, const PSDOptions& options)
{
    const int colourPlanes = options.mode == 1 ? 1 : options.mode == 4 ? 4 : 3;
    const int channels = colourPlanes + options.extraChannels;
    Bytes b = {'8', 'B', 'P', 'S'};
    put16(b, options.large ? 2 : 1);
    b.insert(b.end(), 6, 0);
    put16(b, uint16_t(channels));
    put32(b, uint32_t(height));
    put32(b, uint32_t(width));
    put16(b, uint16_t(options.depth));
    put16(b, uint16_t(options.mode));
    put32(b, 0); // colour mode data
    Bytes resources;
    if (!options.icc.empty()) putResource(resources, 0x040F, options.icc);
    if (!options.exif.empty()) putResource(resources, 0x0422, options.exif);
    if (!options.iptc.empty()) putResource(resources, 0x0404, options.iptc);
    if (options.dpi > 0) {
        Bytes resolution;
        for (int axis = 0; axis < 2; ++axis) {
            put32(resolution, uint32_t(options.dpi * 65536));
            put16(resolution, uint16_t(options.resolutionUnit));
            put16(resolution, uint16_t(options.resolutionUnit));
        }
        putResource(resources, 0x03ED, resolution);
    }
    put32(b, uint32_t(resources.size()));
    b.insert(b.end(), resources.begin(), resources.end());
    if (options.large) put32(b, 0);
    put32(b, 0); // no layers
    put16(b, options.rle ? 1 : 0);
    std::vector<Bytes> rows;
    for (int c = 0; c < channels; ++c)
        for (int y = 0; y < height; ++y) {
            Bytes row;
            for (int x = 0; x < width; ++x) {
                double v = c < colourPlanes ? pattern(x, y, c) : 1.0;
                if (options.mode == 4 && c < colourPlanes) v = 1 - v; // Photoshop stores inverted ink
                if (options.depth == 8)
                    row.push_back(to8(v));
                else
                    put16(row, to16(v));
            }
            rows.push_back(options.rle ? packBits(row) : row);
        }
    if (options.rle)
        for (const Bytes& row : rows) options.large ? put32(b, uint32_t(row.size())) : put16(b, uint16_t(row.size()));
    for (const Bytes& row : rows) b.insert(b.end(), row.begin(), row.end());
    return b;
}

Bytes xmpSegment(const std::string& packet)
{
    const std::string signature("http://ns.adobe.com/xap/1.0/\0", 29);
    const size_t length = 2 + signature.size() + packet.size();
    Bytes segment;
    segment.reserve(length + 2);
    segment.assign({0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)});
    segment.insert(segment.end(), signature.begin(), signature.end());
    segment.insert(segment.end(), packet.begin(), packet.end());
    return segment;
}

std::string isoGainMapXmp(const std::string& attributes)
{
    return R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
           R"(<rdf:Description rdf:about="" xmlns:hdrgm="http://ns.adobe.com/hdr-gain-map/1.0/" hdrgm:Version="1.0" )" +
           attributes + R"(/></rdf:RDF></x:xmpmeta>)";
}

std::string appleGainMapXmp()
{
    return R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
           R"(<rdf:Description rdf:about="" xmlns:HDRGainMap="http://ns.apple.com/HDRGainMap/1.0/" )"
           R"(xmlns:apdi="http://ns.apple.com/pixeldatainfo/1.0/" HDRGainMap:HDRGainMapVersion="65536" )"
           R"(apdi:AuxiliaryImageType="urn:com:apple:photo:2020:aux:hdrgainmap"/></rdf:RDF></x:xmpmeta>)";
}

Bytes assembleMultiPictureJPEG(const Bytes& primary, const std::vector<Bytes>& secondaries)
{
    MultiPictureIndex index;
    index.entries.resize(secondaries.size() + 1);
    const size_t payloadSize = 4 + index.encoded().size();
    const size_t segmentSize = 4 + payloadSize;
    const size_t base = 2 + 4 + 4; // SOI, marker and length, "MPF\0"
    index.entries[0] = {MultiPictureEntry::primaryType | 0x20000000u, uint32_t(primary.size() + segmentSize), 0, 0, 0};
    size_t at = primary.size() + segmentSize;
    for (size_t i = 0; i < secondaries.size(); ++i) {
        index.entries[i + 1] = {MultiPictureEntry::undefinedType, uint32_t(secondaries[i].size()), uint32_t(at - base),
                                0, 0};
        at += secondaries[i].size();
    }
    const Bytes payload = index.encoded();
    Bytes out;
    out.reserve(at + 16);
    out.assign({0xFF, 0xD8, 0xFF, 0xE2, uint8_t((payloadSize + 2) >> 8), uint8_t(payloadSize + 2), 'M', 'P', 'F', 0});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), primary.begin() + 2, primary.end());
    for (const Bytes& secondary : secondaries) out.insert(out.end(), secondary.begin(), secondary.end());
    return out;
}

Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    // A test never goes on with a picture cut short (a full temporary folder).
    if (!out) throw std::runtime_error("could not write " + path.string());
}

TempFolder::TempFolder()
{
    std::random_device random;
    path_ =
        std::filesystem::temp_directory_path() / ("oxel-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

namespace {

Bytes profileBytes(cmsHPROFILE profile, const char* description)
{
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", description);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

cmsHPROFILE rgbProfile(cmsCIExyYTRIPLE primaries, cmsToneCurve* curve)
{
    cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

cmsToneCurve* sRGBCurve()
{
    const double parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

} // namespace

Bytes cmykProfile()
{
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> cmsInt32Number {
            const double k = in[3] / 65535.0;
            double rgb[3], labValue[3];
            for (int c = 0; c < 3; ++c) rgb[c] = 0.9 * (1 - in[c] / 65535.0) * (1 - k);
            cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), rgb, labValue, 1);
            cmsCIELab l{labValue[0], labValue[1], labValue[2]};
            cmsFloat2LabEncoded(out, &l);
            return TRUE;
        },
        toLab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return profileBytes(profile, "Test Inks");
}

Bytes linearGreyProfile()
{
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return profileBytes(profile, "Linear Grey");
}

Bytes customProfile(const std::string& description)
{
    return profileBytes(rgbProfile({{0.70, 0.29, 1}, {0.18, 0.76, 1}, {0.14, 0.05, 1}}, cmsBuildGamma(nullptr, 2.0)),
                        description.c_str());
}

Bytes iccProfile(const std::string& name)
{
    const auto resource = std::filesystem::path(OXEL_SOURCE_DIR) / "resources" / "icc" / (name + ".icc");
    if (std::filesystem::exists(resource)) return readFile(resource);
    // Made here when the resources are not there: the same primaries and curves.
    if (name == "DisplayP3")
        return profileBytes(rgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, sRGBCurve()),
                            "Display P3");
    if (name == "AdobeRGB1998")
        return profileBytes(rgbProfile({{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}},
                                       cmsBuildGamma(nullptr, 563.0 / 256.0)),
                            "Adobe RGB (1998)");
    if (name == "sRGB") return profileBytes(cmsCreate_sRGBProfile(), "sRGB IEC61966-2.1");
    throw std::runtime_error("no profile named " + name);
}

} // namespace oxel::test
