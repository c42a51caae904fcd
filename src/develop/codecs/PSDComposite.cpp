// The merged composite of PSD and PSB files: the picture Photoshop saves beside the layers.

#include "develop/codecs/BlockAverager.h"
#include "develop/codecs/ByteIO.h"
#include "develop/codecs/PhotoshopResources.h"
#include "develop/codecs/PictureCodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace oxel::psd {

namespace {

enum Mode : uint16_t {
    bitmapMode = 0,
    greyMode = 1,
    indexedMode = 2,
    rgbMode = 3,
    cmykMode = 4,
    multichannelMode = 7,
    duotoneMode = 8,
    labMode = 9
};

struct Layout {
    bool large = false; // PSB
    uint16_t channels = 0;
    uint32_t width = 0, height = 0;
    uint16_t depth = 0;
    uint16_t mode = 0;
    std::span<const uint8_t> resources;
    size_t imageData = 0; // where the composite's compression word lies
};

std::optional<ColourModel> modelOf(uint16_t mode)
{
    switch (mode) {
    case greyMode:
    case duotoneMode: return ColourModel::grey; // a duotone's composite is stored as its grey plane
    case rgbMode: return ColourModel::rgb;
    case cmykMode: return ColourModel::cmyk;
    case labMode: return ColourModel::lab;
    default: return std::nullopt;
    }
}

int planesOf(ColourModel model)
{
    return model == ColourModel::grey ? 1 : model == ColourModel::cmyk ? 4 : 3;
}

std::optional<Layout> readLayout(std::span<const uint8_t> file)
{
    ByteReader in(file);
    const auto signature = in.bytes(4);
    const auto version = in.u16be();
    if (!signature || !version || std::memcmp(signature->data(), "8BPS", 4) != 0 || (*version != 1 && *version != 2))
        return std::nullopt;
    Layout l;
    l.large = *version == 2;
    if (!in.skip(6)) return std::nullopt;
    const auto channels = in.u16be();
    const auto height = in.u32be();
    const auto width = in.u32be();
    const auto depth = in.u16be();
    const auto mode = in.u16be();
    if (!channels || !height || !width || !depth || !mode) return std::nullopt;
    const uint32_t maxSide = l.large ? 300000 : 30000;
    if (*channels < 1 || *channels > 56 || *width < 1 || *height < 1 || *width > maxSide || *height > maxSide)
        return std::nullopt;
    l.channels = *channels;
    l.width = *width;
    l.height = *height;
    l.depth = *depth;
    l.mode = *mode;
    const auto modeData = in.u32be();
    if (!modeData || !in.skip(*modeData)) return std::nullopt;
    const auto resourceLength = in.u32be();
    if (!resourceLength) return std::nullopt;
    const auto resources = in.bytes(*resourceLength);
    if (!resources) return std::nullopt;
    l.resources = *resources;
    std::optional<uint64_t> layerLength = l.large ? in.u64be() : std::optional<uint64_t>(in.u32be());
    if (!layerLength || !in.skip(*layerLength)) return std::nullopt;
    l.imageData = in.position();
    return l;
}

// PackBits: a header n, then n + 1 literal bytes (n < 128), or one byte repeated 257 - n times
// (n > 128); 128 does nothing. False when the row does not come out exactly `out.size()` bytes.
bool unpackBits(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    size_t i = 0, o = 0;
    while (i < in.size() && o < out.size()) {
        const uint8_t n = in[i++];
        if (n < 128) {
            const size_t count = size_t(n) + 1;
            if (count > in.size() - i || count > out.size() - o) return false;
            std::memcpy(out.data() + o, in.data() + i, count);
            i += count;
            o += count;
        } else if (n > 128) {
            const size_t count = 257 - size_t(n);
            if (i >= in.size() || count > out.size() - o) return false;
            std::memset(out.data() + o, in[i++], count);
            o += count;
        }
    }
    return o == out.size();
}

// Samples of one stored plane row (big-endian) into the interleaved, native-order picture.
void placeRow(const Samples& out, std::span<const uint8_t> row, int64_t y, int plane)
{
    uint8_t* target = out.row(y);
    const int bytes = out.bits / 8;
    for (int64_t x = 0; x < out.width; ++x) {
        const uint8_t* p = row.data() + size_t(x) * bytes;
        uint8_t* q = target + (size_t(x) * out.channels + plane) * bytes;
        for (int b = 0; b < bytes; ++b) q[b] = p[bytes - 1 - b];
    }
}

// The table of packed row lengths (it covers every channel, the extra ones too), checked against
// the bytes that follow before anything is allocated for the rows.
std::optional<std::vector<uint32_t>> readRleTable(ByteReader& in, const Layout& l, int planes, size_t rowBytes)
{
    const uint64_t rows = uint64_t(l.channels) * l.height;
    const size_t entryBytes = l.large ? 4 : 2;
    if (rows * entryBytes > in.remaining()) return std::nullopt;
    std::vector<uint32_t> lengths(static_cast<size_t>(rows));
    for (auto& length : lengths) length = l.large ? *in.u32be() : *in.u16be();
    // PackBits needs at least two bytes for every 128 bytes of a row.
    const uint64_t shortest = 2 * ((rowBytes + 127) / 128);
    uint64_t needed = 0;
    for (size_t r = 0; r < size_t(planes) * l.height; ++r) {
        if (lengths[r] < shortest) return std::nullopt;
        needed += lengths[r];
    }
    if (needed > in.remaining()) return std::nullopt;
    return lengths;
}

// Hands every stored row of the colour planes, plane by plane and top to bottom, to `take`; false
// when a row is missing or does not unpack to its length.
template <typename Take>
bool readRows(ByteReader& in, const std::vector<uint32_t>* packedLengths, int planes, int64_t height, size_t rowBytes,
              Take&& take)
{
    std::vector<uint8_t> unpacked(packedLengths ? rowBytes : 0);
    size_t r = 0;
    for (int plane = 0; plane < planes; ++plane)
        for (int64_t y = 0; y < height; ++y, ++r) {
            if (!packedLengths) {
                const auto row = in.bytes(rowBytes);
                if (!row) return false;
                take(*row, y, plane);
                continue;
            }
            const auto packed = in.bytes((*packedLengths)[r]);
            if (!packed || !unpackBits(*packed, unpacked)) return false;
            take(std::span<const uint8_t>(unpacked), y, plane);
        }
    return true;
}

// Photoshop stores CMYK as inverted ink (255 is no ink) and Lab as L in 0...max, a and b offset
// by half the range; both become what the colour conversion reads.
std::optional<Samples> normalised(Samples samples, uint16_t mode)
{
    const size_t count = size_t(samples.width) * size_t(samples.height) * size_t(samples.channels);
    if (mode == cmykMode) {
        if (samples.bits == 8)
            for (size_t i = 0; i < count; ++i) samples.data.get()[i] = uint8_t(255 - samples.data.get()[i]);
        else if (samples.bits == 16) {
            auto* p = reinterpret_cast<uint16_t*>(samples.data.get());
            for (size_t i = 0; i < count; ++i) p[i] = uint16_t(65535 - p[i]);
        } else {
            auto* p = reinterpret_cast<float*>(samples.data.get());
            for (size_t i = 0; i < count; ++i) p[i] = 1.0f - p[i];
        }
        return samples;
    }
    if (mode != labMode) return samples;
    auto lab = Samples::allocate(samples.width, samples.height, 3, 32, ColourModel::lab);
    if (!lab) return std::nullopt;
    auto* o = reinterpret_cast<float*>(lab->data.get());
    for (size_t i = 0; i < count; i += 3) {
        float v[3];
        for (int c = 0; c < 3; ++c) {
            const uint8_t* p = samples.data.get() + (i + c) * (samples.bits / 8);
            if (samples.bits == 8)
                v[c] = *p / 255.0f;
            else if (samples.bits == 16) {
                uint16_t s;
                std::memcpy(&s, p, 2);
                v[c] = s / 65535.0f;
            } else
                std::memcpy(&v[c], p, 4);
        }
        o[i] = v[0] * 100.0f;
        o[i + 1] = v[1] * 255.0f - 128.0f;
        o[i + 2] = v[2] * 255.0f - 128.0f;
    }
    return lab;
}

} // namespace

std::optional<PictureHeader> readHeader(std::span<const uint8_t> file)
{
    const auto l = readLayout(file);
    if (!l) return std::nullopt;
    const auto model = modelOf(l->mode);
    if (!model || l->channels < planesOf(*model)) return std::nullopt;
    PictureHeader header;
    header.width = l->width;
    header.height = l->height;
    header.bitsPerComponent = l->depth;
    header.model = *model;
    const auto resources = photoshopResources(l->resources);
    if (auto icc = findResource(resources, photoshopResourceID::iccProfile))
        header.icc.assign(icc->begin(), icc->end());
    if (auto resolution = findResource(resources, photoshopResourceID::resolution))
        header.dpi = photoshopResolution(*resolution);
    if (auto exif = findResource(resources, photoshopResourceID::exif))
        if (auto decoded = Metadata::fromExif(*exif)) header.metadata.merge(*decoded);
    if (auto iptc = findResource(resources, photoshopResourceID::iptc))
        if (auto decoded = Metadata::fromIptc(*iptc)) header.metadata.merge(*decoded);
    if (auto xmp = findResource(resources, photoshopResourceID::xmp))
        if (auto decoded = Metadata::fromXmp({reinterpret_cast<const char*>(xmp->data()), xmp->size()}))
            header.metadata.merge(*decoded);
    // The composite is saved upright: an orientation in its Exif describes the camera, not the pixels.
    header.orientation = 1;
    return header;
}

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide)
{
    const auto l = readLayout(file);
    if (!l) return std::nullopt;
    const auto model = modelOf(l->mode);
    if (!model || l->channels < planesOf(*model) || (l->depth != 8 && l->depth != 16 && l->depth != 32))
        return std::nullopt;
    ByteReader in(file);
    in.seek(l->imageData);
    const auto compression = in.u16be();
    if (!compression || *compression > 1) return std::nullopt;
    const size_t rowBytes = size_t(l->width) * (l->depth / 8);
    const int planes = planesOf(*model);
    // The stored planes must all be there before anything is allocated for them.
    std::optional<std::vector<uint32_t>> packedLengths;
    if (*compression == 0 && uint64_t(rowBytes) * l->height * planes > in.remaining()) return std::nullopt;
    if (*compression == 1 && !(packedLengths = readRleTable(in, *l, planes, rowBytes))) return std::nullopt;
    const int64_t factor = BlockAverager::factorFor(l->width, l->height, minLongSide);
    auto samples = Samples::allocate(BlockAverager::reducedSide(l->width, factor),
                                     BlockAverager::reducedSide(l->height, factor), planes, l->depth, *model);
    if (!samples) return std::nullopt;
    const auto* lengths = packedLengths ? &*packedLengths : nullptr;
    bool read = false;
    if (factor == 1) {
        read = readRows(in, lengths, planes, l->height, rowBytes,
                        [&](std::span<const uint8_t> row, int64_t y, int plane) { placeRow(*samples, row, y, plane); });
    } else {
        BlockAverager averager(*samples, l->width, l->height, factor, {1, true});
        read = readRows(in, lengths, planes, l->height, rowBytes,
                        [&](std::span<const uint8_t> row, int64_t y, int plane) { averager.take(row, y, plane); });
    }
    if (!read) return std::nullopt;
    return normalised(std::move(*samples), l->mode);
}

} // namespace oxel::psd
