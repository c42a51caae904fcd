#include "develop/colour/RGBSpace.h"
#include "develop/colour/ColourKernels.h"
#include "imaging/RenderContext.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace oxel;

namespace {

// Builds profile bytes tag by tag: a zero header, the tag table, then each tag's data.
class ICCBuilder {
public:
    ICCBuilder& tag(const std::string& signature, std::vector<uint8_t> data)
    {
        tags_.push_back({signature, std::move(data)});
        return *this;
    }
    ICCBuilder& xyz(const std::string& signature, double x, double y, double z)
    {
        std::vector<uint8_t> data = type("XYZ ");
        for (double v : {x, y, z}) append32(data, uint32_t(int32_t(std::lround(v * 65536))));
        return tag(signature, data);
    }
    ICCBuilder& curve(const std::string& signature, const std::vector<uint16_t>& entries)
    {
        std::vector<uint8_t> data = type("curv");
        append32(data, uint32_t(entries.size()));
        for (uint16_t e : entries) append16(data, e);
        return tag(signature, data);
    }
    ICCBuilder& parametric(const std::string& signature, uint16_t function, std::vector<double> parameters)
    {
        std::vector<uint8_t> data = type("para");
        append16(data, function);
        append16(data, 0);
        for (double p : parameters) append32(data, uint32_t(int32_t(std::lround(p * 65536))));
        return tag(signature, data);
    }
    // The colorants of sRGB, so that only the curves under test differ.
    ICCBuilder& sRGBColorants()
    {
        return xyz("rXYZ", sRGBToXYZ[0], sRGBToXYZ[3], sRGBToXYZ[6])
            .xyz("gXYZ", sRGBToXYZ[1], sRGBToXYZ[4], sRGBToXYZ[7])
            .xyz("bXYZ", sRGBToXYZ[2], sRGBToXYZ[5], sRGBToXYZ[8]);
    }

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> out(128, 0);
        append32(out, uint32_t(tags_.size()));
        size_t offset = 132 + 12 * tags_.size();
        for (const auto& [signature, data] : tags_) {
            out.insert(out.end(), signature.begin(), signature.end());
            append32(out, uint32_t(offset));
            append32(out, uint32_t(data.size()));
            offset += data.size();
        }
        for (const auto& entry : tags_) out.insert(out.end(), entry.second.begin(), entry.second.end());
        return out;
    }

    static void append32(std::vector<uint8_t>& out, uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    }
    static void append16(std::vector<uint8_t>& out, uint16_t v)
    {
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    }

private:
    static std::vector<uint8_t> type(const char* name)
    {
        std::vector<uint8_t> data(name, name + 4);
        data.resize(8, 0);
        return data;
    }
    std::vector<std::pair<std::string, std::vector<uint8_t>>> tags_;
};

// Profile bytes made by lcms2 from chromaticities and one curve for all channels.
std::vector<uint8_t> lcmsProfile(cmsCIExyY white, cmsCIExyYTRIPLE primaries, cmsToneCurve* curve)
{
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
const cmsCIExyYTRIPLE p3Primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
const cmsCIExyYTRIPLE adobePrimaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};

cmsToneCurve* sRGBToneCurve()
{
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

std::vector<uint16_t> powerTable(size_t count, double gamma)
{
    std::vector<uint16_t> table(count);
    for (size_t i = 0; i < count; ++i)
        table[i] = uint16_t(std::lround(std::pow(double(i) / double(count - 1), gamma) * 65535));
    return table;
}

// Slow, plain reference of the tone curves, in double.
double decodeReference(double v, double gamma, bool sRGB)
{
    if (!sRGB) return std::pow(std::max(v, 0.0), gamma);
    return v <= 0.04045 ? v / 12.92 : std::pow((std::max(v, 0.0) + 0.055) / 1.055, 2.4);
}
double encodeReference(double l, double gamma, bool sRGB)
{
    if (!sRGB) return std::pow(std::max(l, 0.0), 1 / gamma);
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(std::max(l, 0.0), 1 / 2.4) - 0.055;
}

std::array<double, 3> times(const Matrix3& m, const std::array<double, 3>& v)
{
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

std::array<double, 3> clamped(std::array<double, 3> v)
{
    for (double& c : v) c = std::clamp(c, 0.0, 1.0);
    return v;
}

RGB convertThroughKernel(const RGBSpace& space, RGB v, bool toSRGB)
{
    using Direction = ToneTable::Direction;
    const std::array<double, 3> sRGBGamma = {2.2, 2.2, 2.2};
    if (toSRGB)
        return ConvertKernel{ChannelCurves::of(Direction::decode, space.sRGBCurve, space.gamma),
                             Matrix3f::of(multiply(xyzToSRGB, space.toXYZ)),
                             ChannelCurves::of(Direction::encode, true, sRGBGamma)}(v);
    return ConvertKernel{ChannelCurves::of(Direction::decode, true, sRGBGamma),
                         Matrix3f::of(multiply(space.fromXYZ, sRGBToXYZ)),
                         ChannelCurves::of(Direction::encode, space.sRGBCurve, space.gamma)}(v);
}

RGB clipThroughKernel(const RGBSpace& space, RGB v)
{
    using Direction = ToneTable::Direction;
    return ClipViaSRGBKernel{ChannelCurves::of(Direction::decode, space.sRGBCurve, space.gamma),
                             Matrix3f::of(multiply(xyzToSRGB, space.toXYZ)),
                             Matrix3f::of(multiply(space.fromXYZ, sRGBToXYZ)),
                             ChannelCurves::of(Direction::encode, space.sRGBCurve, space.gamma)}(v);
}

void expectNear(RGB actual, std::array<double, 3> expected, double tolerance)
{
    EXPECT_NEAR(actual.r, expected[0], tolerance);
    EXPECT_NEAR(actual.g, expected[1], tolerance);
    EXPECT_NEAR(actual.b, expected[2], tolerance);
}

} // namespace

TEST(ICCReader, ReadsLcmsMadeProfilesOfTheWellKnownSpaces)
{
    const auto sRGB =
        RGBSpace::fromICC(lcmsProfile(d65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, sRGBToneCurve()));
    ASSERT_TRUE(sRGB);
    EXPECT_TRUE(sRGB->sRGBCurve);
    EXPECT_TRUE(sRGB->isNearSRGB());

    const auto p3 = RGBSpace::fromICC(lcmsProfile(d65, p3Primaries, sRGBToneCurve()));
    ASSERT_TRUE(p3);
    EXPECT_TRUE(p3->sRGBCurve);
    EXPECT_FALSE(p3->isNearSRGB());
    EXPECT_NEAR(p3->toXYZ[0], 0.5151, 2e-4); // red X, adapted to D50 by lcms2

    const auto adobe = RGBSpace::fromICC(lcmsProfile(d65, adobePrimaries, cmsBuildGamma(nullptr, 563.0 / 256)));
    ASSERT_TRUE(adobe);
    EXPECT_FALSE(adobe->sRGBCurve);
    EXPECT_DOUBLE_EQ(adobe->gamma[0], 563.0 / 256);
    EXPECT_DOUBLE_EQ(adobe->gamma[2], 563.0 / 256);
}

TEST(ICCReader, ReadsTheShippedProfilesAndNamesSRGBWithoutItsBytes)
{
    const auto p3 = RGBSpace::of(ColourSpace::displayP3());
    ASSERT_TRUE(p3);
    EXPECT_TRUE(p3->sRGBCurve);
    EXPECT_FALSE(p3->isNearSRGB());
    const auto proPhoto = RGBSpace::of(ColourSpace::proPhotoRGB());
    ASSERT_TRUE(proPhoto);
    EXPECT_NEAR(proPhoto->gamma[1], 1.8, 1e-4);
    const auto adobe = RGBSpace::of(ColourSpace::adobeRGB());
    ASSERT_TRUE(adobe);
    EXPECT_NEAR(adobe->gamma[0], 563.0 / 256, 1e-9);
    const auto sRGBFromBytes = RGBSpace::fromICC(ColourSpace::sRGB().icc);
    ASSERT_TRUE(sRGBFromBytes);
    EXPECT_TRUE(sRGBFromBytes->isNearSRGB());

    const ColourSpace namedOnly{ColourSpace::sRGBName, {1, 2, 3}};
    EXPECT_EQ(RGBSpace::of(namedOnly), RGBSpace::sRGB());
    EXPECT_FALSE(RGBSpace::of(ColourSpace{"Mystery", {}}));
}

TEST(ICCReader, NeedsAllThreeColorantsAndAnInvertibleMatrix)
{
    EXPECT_TRUE(RGBSpace::fromICC(ICCBuilder().sRGBColorants().bytes()));
    const auto missingBlue = ICCBuilder()
                                 .xyz("rXYZ", sRGBToXYZ[0], sRGBToXYZ[3], sRGBToXYZ[6])
                                 .xyz("gXYZ", sRGBToXYZ[1], sRGBToXYZ[4], sRGBToXYZ[7])
                                 .bytes();
    EXPECT_FALSE(RGBSpace::fromICC(missingBlue));
    const auto singular =
        ICCBuilder().xyz("rXYZ", 0.4, 0.2, 0.1).xyz("gXYZ", 0.4, 0.2, 0.1).xyz("bXYZ", 0.1, 0.1, 0.7).bytes();
    EXPECT_FALSE(RGBSpace::fromICC(singular));
    auto wrongType = ICCBuilder().sRGBColorants().bytes();
    std::memcpy(wrongType.data() + 132 + 36, "xyz ", 4); // first tag's type
    EXPECT_FALSE(RGBSpace::fromICC(wrongType));
}

TEST(ICCReader, FillsMissingToneCurvesFromRed)
{
    const auto none = RGBSpace::fromICC(ICCBuilder().sRGBColorants().bytes());
    ASSERT_TRUE(none);
    EXPECT_EQ(none->gamma, (std::array<double, 3>{2.2, 2.2, 2.2}));
    EXPECT_FALSE(none->sRGBCurve);

    const auto redOnly =
        RGBSpace::fromICC(ICCBuilder()
                              .sRGBColorants()
                              .parametric("rTRC", 3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})
                              .bytes());
    ASSERT_TRUE(redOnly);
    EXPECT_TRUE(redOnly->sRGBCurve);
    EXPECT_TRUE(redOnly->isNearSRGB());

    const auto mixed = RGBSpace::fromICC(ICCBuilder()
                                             .sRGBColorants()
                                             .parametric("rTRC", 3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})
                                             .parametric("gTRC", 0, {1.8})
                                             .bytes());
    ASSERT_TRUE(mixed);
    EXPECT_FALSE(mixed->sRGBCurve);
    EXPECT_NEAR(mixed->gamma[1], 1.8, 1e-4);
    EXPECT_DOUBLE_EQ(mixed->gamma[2], 2.2);
}

TEST(ICCReader, ReadsCurveAndParametricTags)
{
    const auto read = [](ICCBuilder builder) { return iccToneCurve("rTRC", builder.bytes()); };
    EXPECT_EQ(read(ICCBuilder().curve("rTRC", {})), (ToneCurve{1.0, false}));
    EXPECT_EQ(read(ICCBuilder().curve("rTRC", {0x0233})), (ToneCurve{563.0 / 256, false}));
    EXPECT_NEAR(read(ICCBuilder().parametric("rTRC", 0, {1.8}))->gamma, 1.8, 1e-4);
    EXPECT_EQ(read(ICCBuilder().parametric("rTRC", 3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})),
              (ToneCurve{2.2, true}));
    // Type 3 with other parameters is a plain power law of its first one.
    const auto offCurve = read(ICCBuilder().parametric("rTRC", 3, {2.6, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}));
    EXPECT_FALSE(offCurve->sRGB);
    EXPECT_NEAR(offCurve->gamma, 2.6, 1e-4);
    EXPECT_FALSE(read(ICCBuilder().tag("rTRC", {'m', 'f', 't', '2', 0, 0, 0, 0, 0, 0, 0, 0})));
}

TEST(ICCReader, TestsTablesAgainstSRGBAndFitsTheRest)
{
    std::vector<uint16_t> sRGBTable(1024);
    for (size_t i = 0; i < sRGBTable.size(); ++i)
        sRGBTable[i] = uint16_t(std::lround(decodeReference(double(i) / 1023, 2.2, true) * 65535));
    EXPECT_EQ(iccToneCurve("rTRC", ICCBuilder().curve("rTRC", sRGBTable).bytes()), (ToneCurve{2.2, true}));

    // Pure 2.2 fails the sRGB test; the fit uses the nominal positions, not the entries', and
    // so lands a little below 2.2.
    const auto fitted = iccToneCurve("rTRC", ICCBuilder().curve("rTRC", powerTable(1024, 2.2)).bytes());
    ASSERT_TRUE(fitted);
    EXPECT_FALSE(fitted->sRGB);
    EXPECT_NEAR(fitted->gamma, 2.198, 0.001);
    EXPECT_NE(fitted->gamma, 2.2);

    // A table that claims more entries than the data holds.
    auto truncated = ICCBuilder().curve("rTRC", powerTable(16, 1.8)).bytes();
    truncated.resize(truncated.size() - 2);
    const size_t sizeField = 132 + 8;
    const uint32_t declared = readUInt32BE(truncated, sizeField);
    truncated[sizeField + 3] = uint8_t(declared - 2);
    EXPECT_FALSE(iccToneCurve("rTRC", truncated));
}

TEST(ICCReader, TreatsUnusableExponentsAsMissing)
{
    // An exponent of zero or below would make every pixel NaN or infinite; such a curve reads
    // as absent, so the channel takes the default.
    for (double bad : {0.0, -1.5}) {
        const auto space = RGBSpace::fromICC(ICCBuilder().sRGBColorants().parametric("rTRC", 0, {bad}).bytes());
        ASSERT_TRUE(space);
        EXPECT_DOUBLE_EQ(space->gamma[0], 2.2) << bad;
        EXPECT_DOUBLE_EQ(space->gamma[1], 2.2) << bad;
    }
    EXPECT_FALSE(iccToneCurve("rTRC", ICCBuilder().curve("rTRC", {0}).bytes()));
    EXPECT_FALSE(iccToneCurve("rTRC", ICCBuilder().parametric("rTRC", 3, {-2.4, 1, 0, 1, 0}).bytes()));

    const auto badGreen = RGBSpace::fromICC(
        ICCBuilder().sRGBColorants().parametric("rTRC", 0, {1.8}).parametric("gTRC", 0, {0.0}).bytes());
    ASSERT_TRUE(badGreen);
    EXPECT_NEAR(badGreen->gamma[1], 1.8, 1e-4);
}

TEST(ICCReader, RejectsDamagedTagTables)
{
    const auto good = ICCBuilder().sRGBColorants().bytes();
    ASSERT_TRUE(RGBSpace::fromICC(good));

    for (uint32_t count : {0u, 512u, 0xffffffffu}) {
        auto damaged = good;
        damaged[128] = uint8_t(count >> 24), damaged[129] = uint8_t(count >> 16);
        damaged[130] = uint8_t(count >> 8), damaged[131] = uint8_t(count);
        EXPECT_FALSE(iccTagRange("rXYZ", damaged)) << count;
        EXPECT_FALSE(RGBSpace::fromICC(damaged)) << count;
    }
    EXPECT_FALSE(RGBSpace::fromICC(std::vector<uint8_t>(good.begin(), good.begin() + 132)));
    // Every shorter prefix is refused without reading past its end.
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(RGBSpace::fromICC(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(size))))
            << size;
}

TEST(ICCReader, SkipsNonASCIISignaturesAndStopsAtTheFirstMatch)
{
    auto bytes = ICCBuilder().tag("rTRC", {}).curve("rTRC", {0x0200}).bytes();
    bytes[132] = 0xC3; // the first entry's signature is no longer ASCII
    EXPECT_EQ(iccToneCurve("rTRC", bytes), (ToneCurve{2.0, false}));

    // A first match that runs past the data decides, even with a good one after it.
    auto overrun = ICCBuilder().curve("rTRC", {0x0100}).curve("rTRC", {0x0200}).bytes();
    ICCBuilder::append32(overrun, 0); // keeps the second tag in range
    overrun[132 + 8] = 0x7f;          // first entry's size: huge
    EXPECT_FALSE(iccTagRange("rTRC", overrun));
    EXPECT_EQ(readUInt32BE(overrun, overrun.size() - 2), 0u);
    EXPECT_EQ(readUInt16BE(overrun, overrun.size()), 0u);
}

TEST(ICCReader, InvertsByAdjugate)
{
    const auto inverse = invert3x3(sRGBToXYZ);
    ASSERT_TRUE(inverse);
    const Matrix3 identity = multiply(sRGBToXYZ, *inverse);
    for (size_t i = 0; i < 9; ++i) EXPECT_NEAR(identity[i], i % 4 == 0 ? 1.0 : 0.0, 1e-12);
    for (size_t i = 0; i < 9; ++i) EXPECT_NEAR((*inverse)[i], xyzToSRGB[i], 2e-4);
    EXPECT_FALSE(invert3x3({1, 2, 3, 2, 4, 6, 0, 0, 1}));
    EXPECT_FALSE(invert3x3({1e-5, 0, 0, 0, 1e-5, 0, 0, 0, 1e-3}));
}

TEST(ICCReader, NearSRGBAllowsTwoThousandthsPerEntry)
{
    RGBSpace near = RGBSpace::sRGB();
    near.toXYZ[4] += 0.0019;
    EXPECT_TRUE(near.isNearSRGB());
    near.toXYZ[8] -= 0.0021;
    EXPECT_FALSE(near.isNearSRGB());
    RGBSpace powerLaw = RGBSpace::sRGB();
    powerLaw.sRGBCurve = false;
    EXPECT_FALSE(powerLaw.isNearSRGB());
}

TEST(ToneTable, StaysWithinAHundredThousandthOfTheFormula)
{
    using Direction = ToneTable::Direction;
    for (Direction direction : {Direction::decode, Direction::encode})
        for (bool sRGB : {false, true})
            for (double gamma : {1.0, 1.8, 563.0 / 256, 2.4, 3.0}) {
                const auto table = ToneTable::of(direction, sRGB, gamma);
                double worst = 0;
                for (double x = 1e-9; x < 6; x *= 1.0037) {
                    const double exact = direction == Direction::decode ? decodeReference(float(x), gamma, sRGB)
                                                                        : encodeReference(float(x), gamma, sRGB);
                    worst = std::max(worst, std::abs((*table)(float(x)) - exact) / exact);
                }
                EXPECT_LT(worst, 1.2e-5) << int(direction) << sRGB << gamma;
            }
}

TEST(ToneTable, HandlesZeroNegativesAndNaN)
{
    using Direction = ToneTable::Direction;
    const auto power = ToneTable::of(Direction::decode, false, 2.2);
    EXPECT_EQ((*power)(0.0f), 0.0f);
    EXPECT_EQ((*power)(-0.5f), 0.0f);
    EXPECT_FLOAT_EQ((*power)(1.0f), 1.0f);
    const auto sRGBDecode = ToneTable::of(Direction::decode, true, 2.2);
    EXPECT_FLOAT_EQ((*sRGBDecode)(-0.02f), -0.02f / 12.92f); // the linear part keeps its sign
    // A sample that is not a number comes out black instead of spreading through the picture.
    EXPECT_EQ((*sRGBDecode)(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ((*power)(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    const auto sRGBEncode = ToneTable::of(Direction::encode, true, 2.2);
    EXPECT_FLOAT_EQ((*sRGBEncode)(0.001f), 0.01292f);
    EXPECT_NEAR((*sRGBEncode)(0.5f), 0.735357, 1e-5);
    // Tables are shared while in use.
    EXPECT_EQ(ToneTable::of(Direction::decode, false, 2.2), power);
    EXPECT_NE(ToneTable::of(Direction::encode, false, 2.2), power);
    // Whole runs agree with single samples, for both curve kinds and both directions.
    for (const auto& curve : {power, sRGBDecode, sRGBEncode, ToneTable::of(Direction::encode, false, 1.8)}) {
        std::vector<float> run;
        for (int i = -20; i < 1200; ++i) run.push_back(float(i) / 1000.0f);
        std::vector<float> expected;
        for (float v : run) expected.push_back((*curve)(v));
        curve->apply(run.data(), run.size());
        for (size_t i = 0; i < run.size(); ++i)
            ASSERT_NEAR(run[i], expected[i], 2e-5f * std::max(1.0f, std::abs(expected[i])));
    }
}

TEST(ToneTable, DecodesBitmapCodesToTheCurvesOwnBits)
{
    const auto decode = ToneTable::of(ToneTable::Direction::decode, true, 2.2);
    for (float maximum : {255.0f, 65535.0f}) {
        std::vector<float> codes;
        for (float code = 0; code <= maximum; ++code) codes.push_back(code * (1.0f / maximum));
        std::vector<float> looked = codes;
        decode->apply(looked.data(), looked.size());
        for (size_t code = 0; code < codes.size(); ++code) {
            // A run that starts off the codes takes the curve for all its values.
            std::array<float, 2> computed = {0.3f, codes[code]};
            decode->apply(computed.data(), computed.size());
            ASSERT_EQ(std::bit_cast<uint32_t>(looked[code]), std::bit_cast<uint32_t>(computed[1])) << code;
        }
    }
}

TEST(ColourKernels, ConvertMatchesTheFormulasInDouble)
{
    const auto p3 = *RGBSpace::of(ColourSpace::displayP3());
    const auto adobe = *RGBSpace::of(ColourSpace::adobeRGB());
    for (const RGBSpace& space : {p3, adobe, RGBSpace::sRGB()})
        for (RGB v : {RGB{0.5f, 0.5f, 0.5f}, RGB{0.9f, 0.2f, 0.03f}, RGB{0.01f, 0.7f, 0.3f}, RGB{1, 1, 1}}) {
            std::array<double, 3> linear;
            const float in[3] = {v.r, v.g, v.b};
            for (size_t c = 0; c < 3; ++c) linear[c] = decodeReference(in[c], space.gamma[c], space.sRGBCurve);
            auto sRGBLinear = clamped(times(xyzToSRGB, times(space.toXYZ, linear)));
            std::array<double, 3> expected;
            for (size_t c = 0; c < 3; ++c) expected[c] = encodeReference(sRGBLinear[c], 2.2, true);
            expectNear(convertThroughKernel(space, v, true), expected, 2e-5);
        }
}

TEST(ColourKernels, ConvertsByHand)
{
    const auto adobe = *RGBSpace::of(ColourSpace::adobeRGB());
    // Grey stays grey: 0.5^(563/256) = 0.217756 linear, which sRGB encodes as 0.503993 (the two
    // matrices' whites differ by 2e-4 in Z).
    expectNear(convertThroughKernel(adobe, {0.5f, 0.5f, 0.5f}, true), {0.503993, 0.503993, 0.503993}, 3e-4);
    // Display P3's red lies outside sRGB: per channel it clips to pure red.
    const auto p3 = *RGBSpace::of(ColourSpace::displayP3());
    expectNear(convertThroughKernel(p3, {1, 0, 0}, true), {1, 0, 0}, 1e-5);
    // sRGB to sRGB is the identity; negatives and overs clamp in linear light.
    expectNear(convertThroughKernel(RGBSpace::sRGB(), {0.25f, -0.02f, 1.3f}, true), {0.25, 0, 1}, 2e-5);
    // And back: sRGB mid grey into Adobe RGB.
    expectNear(convertThroughKernel(adobe, {0.503993f, 0.503993f, 0.503993f}, false), {0.5, 0.5, 0.5}, 3e-4);
}

TEST(ColourKernels, ClipViaSRGBClipsPerChannelAndStaysInTheSpace)
{
    const auto p3 = *RGBSpace::of(ColourSpace::displayP3());
    // Inside the sRGB gamut nothing moves.
    expectNear(clipThroughKernel(p3, {0.5f, 0.4f, 0.3f}), {0.5, 0.4, 0.3}, 1e-4);
    // P3's pure green leaves it; the result is sRGB's green, expressed in P3.
    const RGB clipped = clipThroughKernel(p3, {0, 1, 0});
    std::array<double, 3> linear = clamped(times(p3.fromXYZ, times(sRGBToXYZ, {0, 1, 0})));
    for (double& c : linear) c = encodeReference(c, 2.2, true);
    expectNear(clipped, linear, 2e-5);
    EXPECT_GT(clipped.r, 0.4f);
    EXPECT_LT(clipped.g, 1.0f);

    const auto adobe = *RGBSpace::of(ColourSpace::adobeRGB());
    const RGB over = clipThroughKernel(adobe, {1.4f, -0.3f, 0.2f});
    for (float c : {over.r, over.g, over.b}) {
        EXPECT_GE(c, 0.0f);
        EXPECT_LE(c, 1.0f);
    }
}

TEST(RGBSpaceImages, ConvertsWholePicturesAndRoundTrips)
{
    const auto adobe = *RGBSpace::of(ColourSpace::adobeRGB());
    const Image grey = Image::constant({0.5f, 0.5f, 0.5f}).cropped({0, 0, 9, 5});
    const auto inSRGB = adobe.toSRGB(grey);
    ASSERT_TRUE(inSRGB);
    EXPECT_EQ(inSRGB->extent(), grey.extent());
    std::vector<RGB> pixels(45);
    RenderContext().render(*inSRGB, {0, 0, 9, 5}, pixels.data(), 9);
    for (const RGB& p : pixels) EXPECT_NEAR(p.g, 0.503993, 3e-4);

    const auto back = adobe.fromSRGB(*inSRGB);
    ASSERT_TRUE(back);
    RenderContext().render(*back, {0, 0, 9, 5}, pixels.data(), 9);
    for (const RGB& p : pixels) EXPECT_NEAR(p.r, 0.5, 1e-4);

    EXPECT_FALSE(adobe.toSRGB(Image()));
    EXPECT_FALSE(adobe.fromSRGB(Image()));
    EXPECT_TRUE(adobe.clipViaSRGB(Image()).isNull());
}

namespace oxel {
namespace {

TEST(ColourKernels, WholeRunsConvertAsSinglePixelsDo)
{
    // Rendering converts runs of pixels channel by channel; it must agree with the per-pixel kernel,
    // run tails and out-of-range samples included.
    Bitmap bitmap = *Bitmap::allocate(37, 5, PixelFormat::RGBF);
    for (int64_t y = 0; y < 5; ++y) {
        auto* row = reinterpret_cast<RGB*>(bitmap.mutableRow(y));
        for (int64_t x = 0; x < 37; ++x)
            row[x] = {float(x) / 30.0f - 0.1f, float(y) / 4.0f, float((x * 7 + y) % 11) / 10.0f};
    }
    const Image image = Image::fromBitmap(bitmap);
    const RGBSpace p3 = *RGBSpace::of(ColourSpace::displayP3());
    const RGBSpace sRGB = RGBSpace::sRGB();
    std::vector<RGB> converted(37 * 5), clipped(37 * 5);
    RenderContext().render(*p3.toSRGB(image), {0, 0, 37, 5}, converted.data(), 37);
    RenderContext().render(p3.clipViaSRGB(image), {0, 0, 37, 5}, clipped.data(), 37);
    using Direction = ToneTable::Direction;
    const ConvertKernel toSRGB{ChannelCurves::of(Direction::decode, p3.sRGBCurve, p3.gamma),
                               Matrix3f::of(multiply(sRGB.fromXYZ, p3.toXYZ)),
                               ChannelCurves::of(Direction::encode, true, {2.2, 2.2, 2.2})};
    const ClipViaSRGBKernel clip{
        ChannelCurves::of(Direction::decode, p3.sRGBCurve, p3.gamma), Matrix3f::of(multiply(sRGB.fromXYZ, p3.toXYZ)),
        Matrix3f::of(multiply(p3.fromXYZ, sRGB.toXYZ)), ChannelCurves::of(Direction::encode, p3.sRGBCurve, p3.gamma)};
    for (int64_t y = 0; y < 5; ++y) {
        for (int64_t x = 0; x < 37; ++x) {
            const RGB in = reinterpret_cast<const RGB*>(bitmap.row(y))[x];
            const RGB a = converted[size_t(y * 37 + x)], b = toSRGB(in);
            ASSERT_NEAR(a.r, b.r, 2e-5f) << x << "," << y;
            ASSERT_NEAR(a.g, b.g, 2e-5f);
            ASSERT_NEAR(a.b, b.b, 2e-5f);
            const RGB c = clipped[size_t(y * 37 + x)], d = clip(in);
            ASSERT_NEAR(c.r, d.r, 2e-5f);
            ASSERT_NEAR(c.b, d.b, 2e-5f);
        }
    }
}

} // namespace
} // namespace oxel
