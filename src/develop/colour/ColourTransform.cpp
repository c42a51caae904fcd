#include "develop/colour/ColourTransform.h"

#include <lcms2.h>
#include <tbb/parallel_for.h>

#include <cstring>
#include <memory>

namespace oxel {

namespace {

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
using Transform = std::unique_ptr<void, decltype(&cmsDeleteTransform)>;

Profile openProfile(const std::vector<uint8_t>& icc)
{
    if (icc.empty() || icc.size() > (64u << 20)) return {nullptr, cmsCloseProfile};
    return {cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())), cmsCloseProfile};
}

Profile profileOf(const ColourSpace& space)
{
    if (!space.icc.empty()) return openProfile(space.icc);
    if (space.name == ColourSpace::sRGBName) return {cmsCreate_sRGBProfile(), cmsCloseProfile};
    return {nullptr, cmsCloseProfile};
}

Profile sRGBProfile()
{
    return {cmsCreate_sRGBProfile(), cmsCloseProfile};
}

// Runs a transform over every row, rows spread over the cores. Transforms made without a cache
// may be used from several threads at once.
void transformRows(void* transform, const uint8_t* in, size_t inRowBytes, uint8_t* out, size_t outRowBytes,
                   int64_t width, int64_t height)
{
    tbb::parallel_for(tbb::blocked_range<int64_t>(0, height, 16), [&](const tbb::blocked_range<int64_t>& rows) {
        for (int64_t y = rows.begin(); y != rows.end(); ++y)
            cmsDoTransform(transform, in + size_t(y) * inRowBytes, out + size_t(y) * outRowBytes,
                           cmsUInt32Number(width));
    });
}

cmsUInt32Number inputFormat(const Samples& s)
{
    const int extra = s.channels - (s.model == ColourModel::grey ? 1 : s.model == ColourModel::cmyk ? 4 : 3);
    const int bytes = s.bits == 32 ? 0 : s.bits / 8; // lcms2 counts float samples as 4 with the float flag
    switch (s.model) {
    case ColourModel::grey:
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | EXTRA_SH(extra) | BYTES_SH(s.bits == 32 ? 4 : bytes) |
               FLOAT_SH(s.bits == 32);
    case ColourModel::cmyk:
        return COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | EXTRA_SH(extra) | BYTES_SH(s.bits == 32 ? 4 : bytes) |
               FLOAT_SH(s.bits == 32);
    case ColourModel::lab: return TYPE_Lab_FLT;
    case ColourModel::rgb: break;
    }
    return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | EXTRA_SH(extra) | BYTES_SH(s.bits == 32 ? 4 : bytes) |
           FLOAT_SH(s.bits == 32);
}

// CMYK without a profile: the plain complement, ink by ink.
std::optional<Bitmap> naiveCMYK(const Samples& s)
{
    auto out = Bitmap::allocate(s.width, s.height, PixelFormat::RGB16, ColourSpace::sRGB());
    if (!out) return std::nullopt;
    tbb::parallel_for(int64_t(0), s.height, [&](int64_t y) {
        auto* o = reinterpret_cast<uint16_t*>(out->mutableRow(y));
        const uint8_t* in = s.row(y);
        for (int64_t x = 0; x < s.width; ++x) {
            float ink[4];
            for (int c = 0; c < 4; ++c) {
                const uint8_t* p = in + (size_t(x) * s.channels + c) * (s.bits / 8);
                if (s.bits == 8)
                    ink[c] = *p / 255.0f;
                else if (s.bits == 16) {
                    uint16_t v;
                    std::memcpy(&v, p, 2);
                    ink[c] = v / 65535.0f;
                } else
                    std::memcpy(&ink[c], p, 4);
            }
            for (int c = 0; c < 3; ++c)
                o[size_t(x) * 3 + c] = uint16_t(std::clamp((1 - ink[c]) * (1 - ink[3]), 0.0f, 1.0f) * 65535.0f + 0.5f);
        }
    });
    return out;
}

std::optional<Bitmap> convertToSRGB(const Samples& s, const std::vector<uint8_t>& icc)
{
    Profile source =
        s.model == ColourModel::lab ? Profile(cmsCreateLab4Profile(nullptr), cmsCloseProfile) : openProfile(icc);
    const cmsColorSpaceSignature expected = s.model == ColourModel::cmyk   ? cmsSigCmykData
                                            : s.model == ColourModel::grey ? cmsSigGrayData
                                                                           : cmsSigLabData;
    if (!source || cmsGetColorSpace(source.get()) != expected) {
        if (s.model == ColourModel::cmyk) return naiveCMYK(s);
        return std::nullopt;
    }
    Profile target = sRGBProfile();
    Transform transform(cmsCreateTransform(source.get(), inputFormat(s), target.get(), TYPE_RGB_16, INTENT_PERCEPTUAL,
                                           cmsFLAGS_NOCACHE),
                        cmsDeleteTransform);
    if (!transform) return std::nullopt;
    auto out = Bitmap::allocate(s.width, s.height, PixelFormat::RGB16, ColourSpace::sRGB());
    if (!out) return std::nullopt;
    transformRows(transform.get(), s.data.get(), s.rowBytes(), out->mutableData(), out->rowBytes(), s.width, s.height);
    return out;
}

bool hasGreyProfile(const std::vector<uint8_t>& icc)
{
    Profile profile = openProfile(icc);
    return profile && cmsGetColorSpace(profile.get()) == cmsSigGrayData;
}

// Samples whose layout a bitmap format matches exactly are shared, not copied.
std::optional<PixelFormat> sharedFormat(const Samples& s)
{
    const bool grey = s.model == ColourModel::grey;
    if (grey && s.channels == 1)
        return s.bits == 8 ? PixelFormat::Gray8 : s.bits == 16 ? PixelFormat::Gray16 : PixelFormat::GrayF;
    if (!grey && s.channels == 3)
        return s.bits == 8 ? PixelFormat::RGB8 : s.bits == 16 ? PixelFormat::RGB16 : PixelFormat::RGBF;
    if (!grey && s.channels == 4 && s.bits != 32) return s.bits == 8 ? PixelFormat::RGBA8 : PixelFormat::RGBA16;
    return std::nullopt;
}

// Other layouts (grey with alpha, extra channels) keep their colour channels only.
std::optional<Bitmap> colourChannelsOnly(const Samples& s)
{
    const bool grey = s.model == ColourModel::grey;
    const int keep = grey ? 1 : 3;
    const PixelFormat format = grey ? (s.bits == 8    ? PixelFormat::Gray8
                                       : s.bits == 16 ? PixelFormat::Gray16
                                                      : PixelFormat::GrayF)
                                    : (s.bits == 8    ? PixelFormat::RGB8
                                       : s.bits == 16 ? PixelFormat::RGB16
                                                      : PixelFormat::RGBF);
    auto out = Bitmap::allocate(s.width, s.height, format);
    if (!out) return std::nullopt;
    const size_t sample = size_t(s.bits / 8);
    for (int64_t y = 0; y < s.height; ++y) {
        const uint8_t* in = s.row(y);
        uint8_t* o = out->mutableRow(y);
        for (int64_t x = 0; x < s.width; ++x)
            std::memcpy(o + size_t(x) * keep * sample, in + size_t(x) * s.channels * sample, keep * sample);
    }
    return out;
}

} // namespace

bool convertsToSRGB(ColourModel model, const std::vector<uint8_t>& icc)
{
    return model == ColourModel::cmyk || model == ColourModel::lab ||
           (model == ColourModel::grey && hasGreyProfile(icc));
}

std::optional<Bitmap> bitmapOf(const Samples& s, const std::vector<uint8_t>& icc)
{
    if (convertsToSRGB(s.model, icc)) return convertToSRGB(s, icc);
    if (auto format = sharedFormat(s)) return Bitmap::wrap(s.width, s.height, *format, s.rowBytes(), s.data);
    return colourChannelsOnly(s);
}

bool isSameSpace(const ColourSpace& a, const ColourSpace& b)
{
    if (!a.icc.empty() && a.icc == b.icc) return true;
    return !a.name.empty() && a.name == b.name;
}

std::optional<Bitmap> matchColours(const Bitmap& rgbx, const ColourSpace& from, const ColourSpace& to, bool sixteenBit)
{
    const bool deepInput = rgbx.format() == PixelFormat::RGBX16;
    if (!deepInput && rgbx.format() != PixelFormat::RGBX8) return std::nullopt;
    const PixelFormat format = sixteenBit ? PixelFormat::RGBX16 : PixelFormat::RGBX8;
    if (isSameSpace(from, to) && format == rgbx.format()) return rgbx.taggedWith(to);
    auto out = Bitmap::allocate(rgbx.width(), rgbx.height(), format, to);
    if (!out) return std::nullopt;
    Profile source = profileOf(from), target = profileOf(to);
    if (!source || !target) return std::nullopt;
    // A grey picture drawn into RGBX repeats its grey in R, G and B: a grey profile reads the
    // first sample and skips the other three.
    const bool greySource = cmsGetColorSpace(source.get()) == cmsSigGrayData;
    const cmsUInt32Number input =
        greySource ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(deepInput ? 2 : 1) | EXTRA_SH(3)
                   : (deepInput ? TYPE_RGBA_16 : TYPE_RGBA_8);
    // 8 bits in and out take lcms2's fixed-point matrix-and-curve path; 16 bits its tables.
    Transform transform(cmsCreateTransform(source.get(), input, target.get(), sixteenBit ? TYPE_RGBA_16 : TYPE_RGBA_8,
                                           INTENT_PERCEPTUAL,
                                           greySource ? cmsFLAGS_NOCACHE : cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA),
                        cmsDeleteTransform);
    if (!transform) return std::nullopt;
    transformRows(transform.get(), rgbx.data(), rgbx.rowBytes(), out->mutableData(), out->rowBytes(), rgbx.width(),
                  rgbx.height());
    return out;
}

} // namespace oxel
