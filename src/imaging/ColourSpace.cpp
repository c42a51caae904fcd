#include "imaging/ColourSpace.h"

#include "platform/Diagnostics.h"

#include <cstdio>
#include <string>

namespace oxel {

namespace {

// The canonical profile shipped among the resources; empty when it can't be read, so that the
// space is still known by its name.
std::vector<uint8_t> resourceProfile(const char* fileName)
{
    const std::string path = std::string(OXEL_RESOURCES_DIR) + "/icc/" + fileName;
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        diagnose("colour", "missing profile " + path);
        return bytes;
    }
    uint8_t buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

} // namespace

const ColourSpace& ColourSpace::sRGB()
{
    static const ColourSpace space{sRGBName, resourceProfile("sRGB.icc")};
    return space;
}

const ColourSpace& ColourSpace::displayP3()
{
    static const ColourSpace space{displayP3Name, resourceProfile("DisplayP3.icc")};
    return space;
}

const ColourSpace& ColourSpace::adobeRGB()
{
    static const ColourSpace space{adobeRGBName, resourceProfile("AdobeRGB1998.icc")};
    return space;
}

const ColourSpace& ColourSpace::proPhotoRGB()
{
    static const ColourSpace space{proPhotoRGBName, resourceProfile("ProPhotoRGB.icc")};
    return space;
}

} // namespace oxel
