#pragma once

#include "imaging/ColourSpace.h"
#include "imaging/Image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace oxel {

using Matrix3 = std::array<double, 9>; // row-major 3 x 3

// Linear sRGB to the D50 connection space, and back.
inline constexpr Matrix3 sRGBToXYZ = {0.4360747, 0.3850649, 0.1430804, 0.2225045, 0.7168786,
                                      0.0606169, 0.0139322, 0.0971045, 0.7141733};
inline constexpr Matrix3 xyzToSRGB = {3.1338561, -1.6168667, -0.4906146, -0.9787684, 1.9161415,
                                      0.033454,  0.0719453,  -0.2289914, 1.4052427};

// One channel's tone curve as read from a profile: a power-law exponent, or the sRGB curve
// (whose nominal exponent is 2.2).
struct ToneCurve {
    double gamma = 2.2;
    bool sRGB = false;
    bool operator==(const ToneCurve&) const = default;
};

// An RGB colour space described as a matrix to XYZ (D50), its inverse and a tone curve per
// channel. Every colour conversion of develop, detail transfer and export goes through these.
struct RGBSpace {
    Matrix3 toXYZ = sRGBToXYZ;
    Matrix3 fromXYZ = xyzToSRGB;
    std::array<double, 3> gamma = {2.2, 2.2, 2.2};
    bool sRGBCurve = true;

    static RGBSpace sRGB() { return {}; }

    // The description of a colour tag: a space named sRGB without reading its profile, otherwise
    // the one its ICC bytes give. Nothing when there are no bytes or they don't describe an RGB
    // matrix space.
    static std::optional<RGBSpace> of(const ColourSpace& colourSpace);
    static std::optional<RGBSpace> fromICC(std::span<const uint8_t> icc);

    // sRGB tone curves and colorants within 0.002 of sRGB's.
    bool isNearSRGB() const;

    // Pictures in this space to sRGB encoding and back; nothing for a null picture.
    std::optional<Image> toSRGB(const Image& image) const;
    std::optional<Image> fromSRGB(const Image& image) const;
    // The picture with its colours clipped to the sRGB gamut, still in this space.
    Image clipViaSRGB(const Image& image) const;

    bool operator==(const RGBSpace&) const = default;
};

// Big-endian readers that give 0 when the bytes asked for are not all inside the data.
uint32_t readUInt32BE(std::span<const uint8_t> data, size_t at);
uint16_t readUInt16BE(std::span<const uint8_t> data, size_t at);

struct ICCTagRange {
    size_t offset = 0;
    size_t size = 0;
};

// Where the tag with `signature` lies in a profile, or nothing when the tag table is unusable,
// the tag is absent, or the first matching entry runs past the data.
std::optional<ICCTagRange> iccTagRange(std::string_view signature, std::span<const uint8_t> icc);
// An XYZType tag's three numbers.
std::optional<std::array<double, 3>> iccXYZ(std::string_view signature, std::span<const uint8_t> icc);
// A curveType or parametricCurveType tag as an exponent or the sRGB curve. A curve whose exponent
// comes out zero, negative or not finite is unreadable.
std::optional<ToneCurve> iccToneCurve(std::string_view signature, std::span<const uint8_t> icc);
// The inverse by adjugate and determinant; nothing when |determinant| <= 1e-12.
std::optional<Matrix3> invert3x3(const Matrix3& m);

} // namespace oxel
