// Writes the four well-known RGB profiles that the application tags its pictures with:
// sRGB, Display P3, Adobe RGB (1998) and ProPhoto RGB, as ICC v4 matrix/curve profiles.
// The output is byte-for-byte reproducible: the creation date in the header is fixed.
//
// usage: iccgen <output folder>

#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ProfileRecipe {
    const char* fileName;
    const char* description;
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
    // Curve parameters of lcms2's function type 4 (the IEC 61966-2-1 form), or a pure power law.
    bool sRGBCurve;
    double gamma;
};

const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
const cmsCIExyY d50 = {0.3457, 0.3585, 1.0};

const ProfileRecipe recipes[] = {
    {"sRGB.icc", "sRGB", d65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, true, 0},
    {"DisplayP3.icc", "Display P3", d65, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, true, 0},
    {"AdobeRGB1998.icc",
     "Adobe RGB (1998)",
     d65,
     {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
     false,
     563.0 / 256.0},
    {"ProPhotoRGB.icc",
     "ProPhoto RGB",
     d50,
     {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
     false,
     1.8},
};

cmsToneCurve* toneCurve(const ProfileRecipe& recipe)
{
    if (!recipe.sRGBCurve) return cmsBuildGamma(nullptr, recipe.gamma);
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

bool setText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    const bool ok = mlu && cmsMLUsetASCII(mlu, "en", "US", text) && cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
    return ok;
}

std::vector<unsigned char> profileBytes(const ProfileRecipe& recipe)
{
    cmsToneCurve* curve = toneCurve(recipe);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&recipe.white, &recipe.primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile) return {};
    std::vector<unsigned char> bytes;
    cmsUInt32Number size = 0;
    if (setText(profile, cmsSigProfileDescriptionTag, recipe.description) &&
        setText(profile, cmsSigCopyrightTag, "No copyright, use freely") &&
        cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    // Header bytes 24...35 hold the creation date: fix it to 2024-01-01 00:00:00.
    if (bytes.size() >= 36) {
        const unsigned char date[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
        std::memcpy(bytes.data() + 24, date, sizeof date);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "[iccgen] usage: iccgen <output folder>\n");
        return 2;
    }
    for (const auto& recipe : recipes) {
        const auto bytes = profileBytes(recipe);
        const std::string path = std::string(argv[1]) + "/" + recipe.fileName;
        FILE* file = bytes.empty() ? nullptr : std::fopen(path.c_str(), "wb");
        const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file && std::fclose(file) != 0) return 1;
        if (!written) {
            std::fprintf(stderr, "[iccgen] could not write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
