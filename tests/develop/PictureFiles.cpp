#include "PictureFiles.h"

#include <jpeglib.h>
#include <lcms2.h>
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

uint8_t to8(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }
uint16_t to16(double v) { return uint16_t(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); }

} // namespace

Bytes encodeJpeg(int width, int height, const Pattern& pattern, const JpegOptions& options)
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

Bytes encodePng(int width, int height, const Pattern& pattern, const PngOptions& options)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    png_set_write_fn(png, &out, [](png_structp p, png_bytep data, png_size_t length) {
        auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + length);
    }, nullptr);
    const int colourType = options.channels == 1 ? PNG_COLOR_TYPE_GRAY
        : options.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), options.bitDepth, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!options.icc.empty())
        png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE, options.icc.data(), png_uint_32(options.icc.size()));
    if (options.sRGBChunk) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    const int bytesPerSample = options.bitDepth / 8;
    std::vector<uint8_t> row(size_t(width) * options.channels * bytesPerSample);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < options.channels; ++c) {
                const size_t i = (size_t(x) * options.channels + c) * bytesPerSample;
                const double v = c == 3 ? 1.0 : pattern(x, y, c);
                if (bytesPerSample == 1) {
                    row[i] = to8(v);
                } else {
                    const uint16_t s = to16(v);
                    row[i] = uint8_t(s >> 8);
                    row[i + 1] = uint8_t(s);
                }
            }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes encodeTiff(int width, int height, const Pattern& pattern, const TiffOptions& options)
{
    TempFolder folder;
    const auto path = folder / "picture.tif";
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff) throw std::runtime_error("cannot write a TIFF");
    const int spp = options.samplesPerPixel, bits = options.bitsPerSample;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, uint16_t(bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(spp == 1 ? PHOTOMETRIC_MINISBLACK
                                                  : spp == 4 ? PHOTOMETRIC_SEPARATED : PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(options.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(options.orientation));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    if (options.dpi > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(options.dpi));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(options.dpi));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    }
    if (!options.icc.empty()) TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(options.icc.size()), options.icc.data());
    const int bytesPerSample = bits / 8;
    const int planes = options.planar ? spp : 1, perPlane = options.planar ? 1 : spp;
    std::vector<uint8_t> row(size_t(width) * perPlane * bytesPerSample);
    for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < perPlane; ++k) {
                    const int c = options.planar ? plane : k;
                    const double v = pattern(x, y, c);
                    uint8_t* p = row.data() + (size_t(x) * perPlane + k) * bytesPerSample;
                    if (bits == 8) *p = to8(v);
                    else if (bits == 16) { const uint16_t s = to16(v); std::memcpy(p, &s, 2); }
                    else { const float f = float(v); std::memcpy(p, &f, 4); }
                }
            TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane));
        }
    TIFFClose(tiff);
    return readFile(path);
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
}

TempFolder::TempFolder()
{
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("oxel-test-" + std::to_string(random()) + std::to_string(random()));
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

Bytes iccProfile(const std::string& name)
{
    const auto resource = std::filesystem::path(OXEL_SOURCE_DIR) / "resources" / "icc" / (name + ".icc");
    if (std::filesystem::exists(resource)) return readFile(resource);
    // Made here when the resources are not there: the same primaries and curves.
    if (name == "DisplayP3")
        return profileBytes(rgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, sRGBCurve()), "Display P3");
    if (name == "AdobeRGB1998")
        return profileBytes(rgbProfile({{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}},
                                       cmsBuildGamma(nullptr, 563.0 / 256.0)), "Adobe RGB (1998)");
    if (name == "sRGB") return profileBytes(cmsCreate_sRGBProfile(), "sRGB IEC61966-2.1");
    throw std::runtime_error("no profile named " + name);
}

} // namespace oxel::test
