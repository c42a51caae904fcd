#include "develop/colour/ProfileRecognition.h"

#include "develop/colour/RGBSpace.h"

#include <lcms2.h>

#include <array>
#include <cmath>
#include <memory>

namespace oxel {

namespace {

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;

Profile open(std::span<const uint8_t> icc)
{
    if (icc.size() < 132 || icc.size() > (64u << 20)) return {nullptr, cmsCloseProfile};
    return {cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())), cmsCloseProfile};
}

// What makes two matrix profiles the same space: the colorants (white-adapted), and each
// channel's curve sampled along its range.
struct Signature {
    std::array<double, 9> colorants{};
    std::array<double, 3 * 9> curve{};
};

std::optional<Signature> signatureOf(cmsHPROFILE profile)
{
    if (!profile || cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return std::nullopt;
    Signature s;
    const cmsTagSignature colorantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorantTags[c]));
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curveTags[c]));
        if (!xyz || !curve) return std::nullopt;
        s.colorants[size_t(c) * 3] = xyz->X;
        s.colorants[size_t(c) * 3 + 1] = xyz->Y;
        s.colorants[size_t(c) * 3 + 2] = xyz->Z;
        for (int k = 0; k < 9; ++k) {
            const double v = cmsEvalToneCurveFloat(curve, float(0.05 + k * 0.1125));
            if (!std::isfinite(v)) return std::nullopt;
            s.curve[size_t(c) * 9 + size_t(k)] = v;
        }
    }
    return s;
}

bool near(const Signature& a, const Signature& b)
{
    for (size_t i = 0; i < a.colorants.size(); ++i)
        if (std::abs(a.colorants[i] - b.colorants[i]) > 0.002) return false;
    for (size_t i = 0; i < a.curve.size(); ++i)
        if (std::abs(a.curve[i] - b.curve[i]) > 0.002) return false;
    return true;
}

struct KnownSpace {
    const ColourSpace& (*space)();
};

} // namespace

bool isUsableRGBProfile(std::span<const uint8_t> icc)
{
    // The same test every colour conversion of the program makes.
    return RGBSpace::fromICC(icc).has_value();
}

std::optional<std::string> recognisedSpaceName(std::span<const uint8_t> icc)
{
    const Profile profile = open(icc);
    const auto signature = signatureOf(profile.get());
    if (!signature) return std::nullopt;
    static const KnownSpace known[] = {
        {ColourSpace::sRGB}, {ColourSpace::displayP3}, {ColourSpace::adobeRGB}, {ColourSpace::proPhotoRGB}};
    for (const KnownSpace& k : known) {
        const ColourSpace& space = k.space();
        if (space.icc.empty()) continue;
        const Profile reference = open(space.icc);
        const auto referenceSignature = signatureOf(reference.get());
        if (referenceSignature && near(*signature, *referenceSignature)) return space.name;
    }
    return std::nullopt;
}

ColourSpace colourSpaceOfProfile(std::span<const uint8_t> icc)
{
    ColourSpace space;
    space.icc.assign(icc.begin(), icc.end());
    if (auto name = recognisedSpaceName(icc)) space.name = *name;
    return space;
}

} // namespace oxel
