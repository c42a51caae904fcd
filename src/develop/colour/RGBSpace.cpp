#include "develop/colour/RGBSpace.h"

#include "develop/colour/ColourKernels.h"
#include "imaging/Kernel.h"

#include <cmath>

namespace oxel {

namespace {

constexpr uint32_t maximumTagCount = 511;
constexpr size_t tagTableStart = 132;
constexpr size_t tagEntrySize = 12;

bool inside(std::span<const uint8_t> data, size_t at, size_t length)
{
    return at <= data.size() && length <= data.size() - at;
}

// The four bytes at `at` as ASCII text, or nothing when any byte isn't ASCII or lies outside.
std::optional<std::string_view> asciiSignature(std::span<const uint8_t> data, size_t at)
{
    if (!inside(data, at, 4)) return std::nullopt;
    for (size_t i = 0; i < 4; ++i)
        if (data[at + i] >= 0x80) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data.data() + at), 4);
}

double s15Fixed16(std::span<const uint8_t> data, size_t at)
{
    return double(int32_t(readUInt32BE(data, at))) / 65536.0;
}

double sRGBReference(double x)
{
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

// Whole-number rounding with halves away from zero, clamped to the table.
double tableSample(std::span<const uint8_t> data, size_t entries, uint32_t count, double x)
{
    const double index = std::clamp(std::round(x * double(count - 1)), 0.0, double(count - 1));
    return double(readUInt16BE(data, entries + 2 * size_t(index))) / 65535.0;
}

ToneCurve sampledCurve(std::span<const uint8_t> data, size_t entries, uint32_t count)
{
    double largestError = 0;
    for (double x : {0.1, 0.25, 0.5, 0.75})
        largestError = std::max(largestError, std::abs(tableSample(data, entries, count, x) - sRGBReference(x)));
    if (largestError < 0.004) return {2.2, true};

    double numerator = 0, denominator = 0;
    for (double x : {0.25, 0.5, 0.75}) {
        const double y = tableSample(data, entries, count, x);
        if (y > 0 && y < 1) {
            numerator += std::log(x) * std::log(y);
            denominator += std::log(x) * std::log(x);
        }
    }
    return {denominator > 0 ? numerator / denominator : 2.2, false};
}

std::optional<ToneCurve> curveTag(std::span<const uint8_t> data, size_t offset)
{
    const uint32_t count = readUInt32BE(data, offset + 8);
    if (count == 0) return ToneCurve{1.0, false};
    if (count == 1) return ToneCurve{double(readUInt16BE(data, offset + 12)) / 256.0, false};
    if (!inside(data, offset + 12, 2 * size_t(count))) return std::nullopt;
    return sampledCurve(data, offset + 12, count);
}

ToneCurve parametricTag(std::span<const uint8_t> data, size_t offset)
{
    const uint16_t function = readUInt16BE(data, offset + 8);
    const double g = s15Fixed16(data, offset + 12);
    if (function != 3) return {g, false};
    const double a = s15Fixed16(data, offset + 16), b = s15Fixed16(data, offset + 20);
    const double c = s15Fixed16(data, offset + 24), d = s15Fixed16(data, offset + 28);
    const bool isSRGB = std::abs(g - 2.4) < 0.05 && std::abs(a - 1 / 1.055) < 0.01 &&
                        std::abs(b - 0.055 / 1.055) < 0.01 && std::abs(c - 1 / 12.92) < 0.005 &&
                        std::abs(d - 0.04045) < 0.005;
    return isSRGB ? ToneCurve{2.2, true} : ToneCurve{g, false};
}

Image convert(const Image& image, const Matrix3& sourceToXYZ, const std::array<double, 3>& sourceGamma, bool sourceSRGB,
              const Matrix3& xyzToDestination, const std::array<double, 3>& destinationGamma, bool destinationSRGB)
{
    const ConvertKernel kernel{ChannelCurves::of(ToneTable::Direction::decode, sourceSRGB, sourceGamma),
                               Matrix3f::of(multiply(xyzToDestination, sourceToXYZ)),
                               ChannelCurves::of(ToneTable::Direction::encode, destinationSRGB, destinationGamma)};
    return applySpanKernel(image.extent(),
                           [kernel](const RGB* const* in, RGB* out, size_t count) { kernel.run(in[0], out, count); },
                           {image});
}

constexpr std::array<double, 3> sRGBGamma = {2.2, 2.2, 2.2};

} // namespace

uint32_t readUInt32BE(std::span<const uint8_t> data, size_t at)
{
    if (!inside(data, at, 4)) return 0;
    return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 |
           uint32_t(data[at + 3]);
}

uint16_t readUInt16BE(std::span<const uint8_t> data, size_t at)
{
    if (!inside(data, at, 2)) return 0;
    return uint16_t(data[at] << 8 | data[at + 1]);
}

std::optional<ICCTagRange> iccTagRange(std::string_view signature, std::span<const uint8_t> icc)
{
    if (icc.size() < tagTableStart) return std::nullopt;
    const uint32_t count = readUInt32BE(icc, 128);
    if (count == 0 || count > maximumTagCount) return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = tagTableStart + size_t(i) * tagEntrySize;
        if (!inside(icc, entry, tagEntrySize)) return std::nullopt;
        const auto entrySignature = asciiSignature(icc, entry);
        if (!entrySignature || *entrySignature != signature) continue;
        const size_t offset = readUInt32BE(icc, entry + 4), size = readUInt32BE(icc, entry + 8);
        if (!inside(icc, offset, size)) return std::nullopt;
        return ICCTagRange{offset, size};
    }
    return std::nullopt;
}

std::optional<std::array<double, 3>> iccXYZ(std::string_view signature, std::span<const uint8_t> icc)
{
    const auto tag = iccTagRange(signature, icc);
    if (!tag || tag->size < 20 || asciiSignature(icc, tag->offset) != "XYZ ") return std::nullopt;
    return std::array<double, 3>{s15Fixed16(icc, tag->offset + 8), s15Fixed16(icc, tag->offset + 12),
                                 s15Fixed16(icc, tag->offset + 16)};
}

std::optional<ToneCurve> iccToneCurve(std::string_view signature, std::span<const uint8_t> icc)
{
    const auto tag = iccTagRange(signature, icc);
    if (!tag || tag->size < 12) return std::nullopt;
    const auto type = asciiSignature(icc, tag->offset);
    std::optional<ToneCurve> curve;
    if (type == "curv")
        curve = curveTag(icc, tag->offset);
    else if (type == "para")
        curve = parametricTag(icc, tag->offset);
    // A zero, negative or non-finite exponent would turn every sample into NaN or infinity.
    if (curve && !(std::isfinite(curve->gamma) && curve->gamma > 0)) return std::nullopt;
    return curve;
}

std::optional<Matrix3> invert3x3(const Matrix3& m)
{
    const double c00 = m[4] * m[8] - m[5] * m[7];
    const double c01 = m[5] * m[6] - m[3] * m[8];
    const double c02 = m[3] * m[7] - m[4] * m[6];
    const double determinant = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (!(std::abs(determinant) > 1e-12)) return std::nullopt;
    const Matrix3 adjugate = {c00, m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                              c01, m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                              c02, m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    Matrix3 inverse;
    for (size_t i = 0; i < 9; ++i) inverse[i] = adjugate[i] / determinant;
    return inverse;
}

std::optional<RGBSpace> RGBSpace::of(const ColourSpace& colourSpace)
{
    if (colourSpace.name == ColourSpace::sRGBName) return sRGB();
    if (colourSpace.icc.empty()) return std::nullopt;
    return fromICC(colourSpace.icc);
}

std::optional<RGBSpace> RGBSpace::fromICC(std::span<const uint8_t> icc)
{
    if (icc.size() <= tagTableStart) return std::nullopt;
    const auto red = iccXYZ("rXYZ", icc), green = iccXYZ("gXYZ", icc), blue = iccXYZ("bXYZ", icc);
    if (!red || !green || !blue) return std::nullopt;

    RGBSpace space;
    for (size_t row = 0; row < 3; ++row) {
        space.toXYZ[row * 3 + 0] = (*red)[row];
        space.toXYZ[row * 3 + 1] = (*green)[row];
        space.toXYZ[row * 3 + 2] = (*blue)[row];
    }
    const auto inverse = invert3x3(space.toXYZ);
    if (!inverse) return std::nullopt;
    space.fromXYZ = *inverse;

    const auto r = iccToneCurve("rTRC", icc), g = iccToneCurve("gTRC", icc), b = iccToneCurve("bTRC", icc);
    const double redGamma = r ? r->gamma : 2.2;
    const bool redSRGB = r && r->sRGB;
    space.gamma = {redGamma, g ? g->gamma : redGamma, b ? b->gamma : redGamma};
    space.sRGBCurve = r && r->sRGB && (g ? g->sRGB : redSRGB) && (b ? b->sRGB : redSRGB);
    return space;
}

bool RGBSpace::isNearSRGB() const
{
    if (!sRGBCurve) return false;
    for (size_t i = 0; i < 9; ++i)
        if (!(std::abs(toXYZ[i] - sRGBToXYZ[i]) <= 0.002)) return false;
    return true;
}

std::optional<Image> RGBSpace::toSRGB(const Image& image) const
{
    if (image.isNull()) return std::nullopt;
    return convert(image, toXYZ, gamma, sRGBCurve, xyzToSRGB, sRGBGamma, true);
}

std::optional<Image> RGBSpace::fromSRGB(const Image& image) const
{
    if (image.isNull()) return std::nullopt;
    return convert(image, sRGBToXYZ, sRGBGamma, true, fromXYZ, gamma, sRGBCurve);
}

Image RGBSpace::clipViaSRGB(const Image& image) const
{
    if (image.isNull()) return image;
    const ClipViaSRGBKernel kernel{ChannelCurves::of(ToneTable::Direction::decode, sRGBCurve, gamma),
                                   Matrix3f::of(multiply(xyzToSRGB, toXYZ)), Matrix3f::of(multiply(fromXYZ, sRGBToXYZ)),
                                   ChannelCurves::of(ToneTable::Direction::encode, sRGBCurve, gamma)};
    return applySpanKernel(image.extent(),
                           [kernel](const RGB* const* in, RGB* out, size_t count) { kernel.run(in[0], out, count); },
                           {image});
}

} // namespace oxel
