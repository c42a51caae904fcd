#include "develop/codecs/BlockAverager.h"
#include "develop/codecs/PictureCodec.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oxel::tiff {

namespace {

// libtiff reading from memory.
struct MemoryFile {
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
};

tmsize_t readProc(thandle_t handle, void* out, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (size < 0 || file->position > file->bytes.size()) return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(size), file->bytes.size() - file->position);
    std::memcpy(out, file->bytes.data() + file->position, size_t(n));
    file->position += n;
    return tmsize_t(n);
}
tmsize_t writeProc(thandle_t, void*, tmsize_t)
{
    return 0;
}
toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const uint64_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->bytes.size() : 0;
    file->position = base + offset;
    return file->position;
}
int closeProc(thandle_t)
{
    return 0;
}
toff_t sizeProc(thandle_t handle)
{
    return static_cast<MemoryFile*>(handle)->bytes.size();
}
int mapProc(thandle_t, void**, toff_t*)
{
    return 0;
}
void unmapProc(thandle_t, void*, toff_t)
{}

void quiet(const char*, const char*, va_list)
{}

class OpenTIFF {
public:
    explicit OpenTIFF(std::span<const uint8_t> bytes) : file_{bytes}
    {
        static const bool silenced = [] {
            TIFFSetWarningHandler(quiet);
            TIFFSetErrorHandler(quiet);
            return true;
        }();
        (void)silenced;
        tiff_ = TIFFClientOpen("picture", "rm", &file_, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                               unmapProc);
    }
    ~OpenTIFF()
    {
        if (tiff_) TIFFClose(tiff_);
    }
    TIFF* get() const { return tiff_; }

private:
    MemoryFile file_;
    TIFF* tiff_ = nullptr;
};

template <class T>
T field(TIFF* tiff, ttag_t tag, T fallback)
{
    T value{};
    return TIFFGetField(tiff, tag, &value) ? value : fallback;
}

template <class T>
T fieldOrDefault(TIFF* tiff, ttag_t tag)
{
    T value{};
    TIFFGetFieldDefaulted(tiff, tag, &value);
    return value;
}

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samplesPerPixel = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT, inkSet = INKSET_CMYK;
};

Layout layoutOf(TIFF* tiff)
{
    Layout l;
    l.width = fieldOrDefault<uint32_t>(tiff, TIFFTAG_IMAGEWIDTH);
    l.height = fieldOrDefault<uint32_t>(tiff, TIFFTAG_IMAGELENGTH);
    l.bits = fieldOrDefault<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE);
    l.samplesPerPixel = fieldOrDefault<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
    l.photometric =
        field<uint16_t>(tiff, TIFFTAG_PHOTOMETRIC, l.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    l.planar = fieldOrDefault<uint16_t>(tiff, TIFFTAG_PLANARCONFIG);
    l.sampleFormat = fieldOrDefault<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT);
    l.inkSet = fieldOrDefault<uint16_t>(tiff, TIFFTAG_INKSET);
    return l;
}

std::optional<ColourModel> modelOf(const Layout& l)
{
    switch (l.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE: return ColourModel::grey;
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YCBCR:
    case PHOTOMETRIC_PALETTE: return ColourModel::rgb;
    case PHOTOMETRIC_SEPARATED:
        if (l.inkSet == INKSET_CMYK && l.samplesPerPixel >= 4) return ColourModel::cmyk;
        return std::nullopt;
    case PHOTOMETRIC_CIELAB: return ColourModel::lab;
    default: return std::nullopt;
    }
}

int colourChannels(ColourModel model)
{
    switch (model) {
    case ColourModel::grey: return 1;
    case ColourModel::cmyk: return 4;
    default: return 3;
    }
}

// Formats read sample by sample; the rest (palettes, YCbCr, odd depths) go through libtiff's
// RGBA reader.
bool isDirect(const Layout& l, ColourModel model)
{
    const bool depthOK = (l.bits == 8 || l.bits == 16) ? l.sampleFormat != SAMPLEFORMAT_IEEEFP
                                                       : l.bits == 32 && l.sampleFormat == SAMPLEFORMAT_IEEEFP;
    return depthOK && l.photometric != PHOTOMETRIC_YCBCR && l.photometric != PHOTOMETRIC_PALETTE &&
           l.samplesPerPixel >= colourChannels(model) && l.samplesPerPixel <= 8;
}

// Copies one decoded row of one plane (or of interleaved samples) into place.
void place(const Samples& out, std::span<const uint8_t> row, uint32_t y, int plane, bool planar)
{
    const int bytes = out.bits / 8;
    uint8_t* target = out.row(y);
    if (!planar) {
        std::memcpy(target, row.data(), out.rowBytes());
        return;
    }
    for (int64_t x = 0; x < out.width; ++x)
        std::memcpy(target + (size_t(x) * out.channels + plane) * bytes, row.data() + size_t(x) * bytes, size_t(bytes));
}

// Hands every decoded row to `take(row, y, plane)`, the rows of each plane top to bottom; with
// interleaved samples there is one plane holding them all. False when a piece does not decode.
template <class Take>
bool visitScanlines(TIFF* tiff, const Layout& l, Take&& take)
{
    const bool planar = l.planar == PLANARCONFIG_SEPARATE;
    const int planes = planar ? l.samplesPerPixel : 1;
    const tmsize_t lineSize = TIFFScanlineSize(tiff);
    const size_t expected = size_t(l.width) * (planar ? 1 : l.samplesPerPixel) * (l.bits / 8);
    if (lineSize <= 0 || size_t(lineSize) < expected) return false;
    std::vector<uint8_t> line(static_cast<size_t>(lineSize));
    for (int plane = 0; plane < planes; ++plane)
        for (uint32_t y = 0; y < l.height; ++y) {
            if (TIFFReadScanline(tiff, line.data(), y, uint16_t(plane)) < 0) return false;
            take(std::span<const uint8_t>(line.data(), expected), y, plane);
        }
    return true;
}

// As `visitScanlines`, for tiles: one row of tiles at a time is gathered into a band of whole rows.
template <class Take>
bool visitTileRows(TIFF* tiff, const Layout& l, Take&& take)
{
    const uint32_t tileWidth = fieldOrDefault<uint32_t>(tiff, TIFFTAG_TILEWIDTH);
    const uint32_t tileHeight = fieldOrDefault<uint32_t>(tiff, TIFFTAG_TILELENGTH);
    const tmsize_t tileSize = TIFFTileSize(tiff);
    const bool planar = l.planar == PLANARCONFIG_SEPARATE;
    const size_t pixelBytes = size_t(planar ? 1 : l.samplesPerPixel) * (l.bits / 8);
    if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 ||
        size_t(tileSize) < size_t(tileWidth) * tileHeight * pixelBytes)
        return false;
    // A tile is never larger than the picture rounded up to the 16 that tiles come in, except
    // that small pictures are often kept in one tile of a standard size. Larger tiles are damage
    // and must not make us allocate for them.
    const auto plausible = [](uint32_t tile, uint32_t side) {
        return tile <= std::max<uint64_t>((uint64_t(side) + 15) / 16 * 16, 1024);
    };
    if (!plausible(tileWidth, l.width) || !plausible(tileHeight, l.height)) return false;
    std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
    const size_t bandRowBytes = size_t(l.width) * pixelBytes;
    std::vector<uint8_t> band(bandRowBytes * std::min(tileHeight, l.height));
    const int planes = planar ? l.samplesPerPixel : 1;
    for (int plane = 0; plane < planes; ++plane)
        for (uint32_t ty = 0; ty < l.height; ty += tileHeight) {
            const uint32_t h = std::min(tileHeight, l.height - ty);
            for (uint32_t tx = 0; tx < l.width; tx += tileWidth) {
                if (TIFFReadTile(tiff, tile.data(), tx, ty, 0, uint16_t(plane)) < 0) return false;
                const uint32_t w = std::min(tileWidth, l.width - tx);
                for (uint32_t y = 0; y < h; ++y)
                    std::memcpy(band.data() + y * bandRowBytes + tx * pixelBytes,
                                tile.data() + size_t(y) * tileWidth * pixelBytes, w * pixelBytes);
            }
            for (uint32_t y = 0; y < h; ++y)
                take(std::span<const uint8_t>(band.data() + y * bandRowBytes, bandRowBytes), ty + y, plane);
        }
    return true;
}

template <class Take>
bool visitRows(TIFF* tiff, const Layout& l, Take&& take)
{
    return TIFFIsTiled(tiff) ? visitTileRows(tiff, l, take) : visitScanlines(tiff, l, take);
}

// Every row into place in a picture of the file's own size.
bool readInPlace(TIFF* tiff, const Layout& l, const Samples& out)
{
    const bool planar = l.planar == PLANARCONFIG_SEPARATE;
    return visitRows(tiff, l,
                     [&](std::span<const uint8_t> row, uint32_t y, int plane) { place(out, row, y, plane, planar); });
}

// Every row averaged into a picture reduced by `factor`, holding no more than a band of rows.
bool readAveraged(TIFF* tiff, const Layout& l, Samples& out, int64_t factor)
{
    const bool planar = l.planar == PLANARCONFIG_SEPARATE;
    BlockAverager averager(out, l.width, l.height, factor, {planar ? 1 : l.samplesPerPixel, false});
    return visitRows(tiff, l, [&](std::span<const uint8_t> row, uint32_t y, int plane) {
        averager.take(row, y, planar ? plane : 0);
    });
}

void invertGrey(const Samples& s)
{
    for (int64_t y = 0; y < s.height; ++y) {
        uint8_t* row = s.row(y);
        for (int64_t x = 0; x < s.width; ++x) {
            uint8_t* p = row + size_t(x) * s.channels * (s.bits / 8);
            if (s.bits == 8)
                *p = uint8_t(255 - *p);
            else if (s.bits == 16) {
                uint16_t v;
                std::memcpy(&v, p, 2);
                v = uint16_t(65535 - v);
                std::memcpy(p, &v, 2);
            } else {
                float v;
                std::memcpy(&v, p, 4);
                v = 1.0f - v;
                std::memcpy(p, &v, 4);
            }
        }
    }
}

// TIFF's CIELab: L scaled over the whole range, a and b signed. Becomes float L (0...100), a, b.
std::optional<Samples> labToFloat(const Samples& s)
{
    auto out = Samples::allocate(s.width, s.height, 3, 32, ColourModel::lab);
    if (!out) return std::nullopt;
    for (int64_t y = 0; y < s.height; ++y) {
        const uint8_t* in = s.row(y);
        auto* o = reinterpret_cast<float*>(out->row(y));
        for (int64_t x = 0; x < s.width; ++x) {
            const uint8_t* p = in + size_t(x) * s.channels * (s.bits / 8);
            if (s.bits == 8) {
                o[0] = p[0] * (100.0f / 255.0f);
                o[1] = float(int8_t(p[1]));
                o[2] = float(int8_t(p[2]));
            } else if (s.bits == 16) {
                uint16_t l;
                int16_t a, b;
                std::memcpy(&l, p, 2);
                std::memcpy(&a, p + 2, 2);
                std::memcpy(&b, p + 4, 2);
                o[0] = l * (100.0f / 65535.0f);
                o[1] = a / 256.0f;
                o[2] = b / 256.0f;
            } else {
                std::memcpy(o, p, 12);
            }
            o += 3;
        }
    }
    return out;
}

std::optional<Samples> readThroughRGBA(TIFF* tiff, const Layout& l)
{
    char message[1024];
    if (!TIFFRGBAImageOK(tiff, message)) return std::nullopt;
    auto out = Samples::allocate(l.width, l.height, 4, 8, ColourModel::rgb, true);
    if (!out) return std::nullopt;
    // Asking for the file's own orientation keeps the pixels as stored: the loader turns them, and
    // libtiff would otherwise flip them towards top-left first.
    const uint16_t stored = field<uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (!TIFFReadRGBAImageOriented(tiff, l.width, l.height, reinterpret_cast<uint32_t*>(out->data.get()), stored, 0))
        return std::nullopt;
    return out;
}

// The most bytes of samples one coded byte can give under a compression, with room to spare: runs
// of 128 from two bytes, deflate's 1032 to one, and a few thousand for the rest. Uncompressed
// colour may be subsampled, which stores fewer bytes than samples.
uint64_t largestExpansion(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE: return 2;
    case COMPRESSION_PACKBITS: return 64;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: return 1100;
    default: return 4096;
    }
}

// The coded pieces (strips or tiles) lie inside the file, none shares its bytes with another, and
// together they are large enough for the samples they claim. Pieces that all point at the same
// bytes would otherwise let a file of a few hundred kilobytes claim hundreds of megapixels.
bool codedDataCovers(TIFF* tiff, const Layout& l, uint64_t fileSize)
{
    const uint32_t count = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    // Each piece takes at least eight bytes of the file for its offset and length.
    if (count == 0 || count > fileSize / 8) return false;
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    pieces.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        int error = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, i, &error);
        const uint64_t bytes = TIFFGetStrileByteCountWithErr(tiff, i, &error);
        if (error || offset > fileSize || bytes > fileSize - offset) return false;
        if (bytes > 0) pieces.emplace_back(offset, bytes);
    }
    std::sort(pieces.begin(), pieces.end());
    uint64_t coded = 0, end = 0;
    for (const auto& [offset, bytes] : pieces) {
        if (offset < end) return false;
        end = offset + bytes;
        coded += bytes;
    }
    const uint64_t sampleBytes = (uint64_t(l.width) * l.samplesPerPixel * l.bits + 7) / 8 * l.height;
    return sampleBytes <= coded * largestExpansion(fieldOrDefault<uint16_t>(tiff, TIFFTAG_COMPRESSION));
}

// The whole picture of the layouts not read row by row: those libtiff's RGBA reader converts, and
// Lab, converted to float.
std::optional<Samples> decodeConverted(TIFF* tiff, const Layout& l, ColourModel model)
{
    if (!isDirect(l, model))
        return model == ColourModel::rgb || model == ColourModel::grey ? readThroughRGBA(tiff, l) : std::nullopt;
    const auto samples = Samples::allocate(l.width, l.height, l.samplesPerPixel, l.bits, model);
    if (!samples || !readInPlace(tiff, l, *samples)) return std::nullopt;
    return labToFloat(*samples);
}

} // namespace

std::optional<PictureHeader> readHeader(std::span<const uint8_t> file)
{
    OpenTIFF open(file);
    TIFF* tiff = open.get();
    if (!tiff) return std::nullopt;
    const Layout l = layoutOf(tiff);
    const auto model = modelOf(l);
    if (!model || l.width == 0 || l.height == 0) return std::nullopt;
    PictureHeader header;
    header.width = l.width;
    header.height = l.height;
    header.bitsPerComponent = l.bits;
    header.model = *model;
    header.decodesWhole = !isDirect(l, *model) || *model == ColourModel::lab;
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc && iccSize > 0)
        header.icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + iccSize);
    float resolution = 0;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution) && std::isfinite(resolution) && resolution > 0) {
        const uint16_t unit = fieldOrDefault<uint16_t>(tiff, TIFFTAG_RESOLUTIONUNIT);
        if (unit != RESUNIT_NONE) header.dpi = unit == RESUNIT_CENTIMETER ? resolution * 2.54 : resolution;
    }
    header.orientation = field<uint16_t>(tiff, TIFFTAG_ORIENTATION, 1);
    if (header.orientation < 1 || header.orientation > 8) header.orientation = 1;
    header.metadata = Metadata::read(file).value_or(Metadata());
    return header;
}

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide)
{
    OpenTIFF open(file);
    TIFF* tiff = open.get();
    if (!tiff) return std::nullopt;
    const Layout l = layoutOf(tiff);
    const auto model = modelOf(l);
    if (!model || !DecodeLimits::allow(l.width, l.height)) return std::nullopt;
    if (!codedDataCovers(tiff, l, file.size())) return std::nullopt;
    const int64_t factor = BlockAverager::factorFor(l.width, l.height, minLongSide);
    // Lab's signed a and b cannot be averaged as stored: like the layouts libtiff converts, it is
    // decoded whole and reduced after.
    if (!isDirect(l, *model) || *model == ColourModel::lab) {
        const auto whole = decodeConverted(tiff, l, *model);
        return whole ? BlockAverager::reduced(*whole, factor) : std::nullopt;
    }
    const bool alpha = l.samplesPerPixel > colourChannels(*model);
    auto samples =
        Samples::allocate(BlockAverager::reducedSide(l.width, factor), BlockAverager::reducedSide(l.height, factor),
                          l.samplesPerPixel, l.bits, *model, alpha);
    if (!samples) return std::nullopt;
    if (!(factor == 1 ? readInPlace(tiff, l, *samples) : readAveraged(tiff, l, *samples, factor))) return std::nullopt;
    if (l.photometric == PHOTOMETRIC_MINISWHITE) invertGrey(*samples);
    return samples;
}

} // namespace oxel::tiff
