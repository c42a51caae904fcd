#include "develop/colour/IccProfiles.h"

#include <lcms2.h>

namespace oxel {

namespace {

std::vector<uint8_t> profileFor(const Chromaticities& c, cmsToneCurve* curve)
{
    if (!curve) return {};
    const cmsCIExyY white = {c.whiteX, c.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries = {{c.redX, c.redY, 1.0}, {c.greenX, c.greenY, 1.0}, {c.blueX, c.blueY, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile) return {};
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

cmsToneCurve* sRGBToneCurve()
{
    const double parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

} // namespace

std::vector<uint8_t> iccForPowerCurve(const Chromaticities& chromaticities, double gamma)
{
    if (!(gamma > 0.05 && gamma < 20)) return {};
    return profileFor(chromaticities, cmsBuildGamma(nullptr, gamma));
}

std::vector<uint8_t> iccForSRGBCurve(const Chromaticities& chromaticities)
{
    return profileFor(chromaticities, sRGBToneCurve());
}

std::optional<std::vector<uint8_t>> iccForCICP(int primaries, int transfer)
{
    std::optional<Chromaticities> c;
    switch (primaries) {
    case 1: c = Chromaticities{0.3127, 0.3290, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060}; break;  // BT.709 / sRGB
    case 12: c = Chromaticities{0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}; break; // Display P3
    case 9: c = Chromaticities{0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046}; break;  // BT.2020
    default: return std::nullopt;
    }
    std::vector<uint8_t> icc;
    switch (transfer) {
    case 13: icc = iccForSRGBCurve(*c); break;      // sRGB
    case 8: icc = iccForPowerCurve(*c, 1.0); break; // linear
    case 1:
    case 6:
    case 14:
    case 15: // BT.709-style camera curves, read as 1.961
        icc = iccForPowerCurve(*c, 1.961);
        break;
    case 4: icc = iccForPowerCurve(*c, 2.2); break;
    default: return std::nullopt;
    }
    if (icc.empty()) return std::nullopt;
    return icc;
}

} // namespace oxel
