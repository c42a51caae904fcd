#include "imaging/ColourSpace.h"

#include "imaging/EmbeddedProfiles.h"
#include "platform/Diagnostics.h"

#include <string>

namespace oxel {

namespace {

// The canonical profile built into the program; empty when it is not there, so that the space is
// still known by its name.
std::vector<uint8_t> resourceProfile(const std::string& fileName)
{
    const EmbeddedFile* file = findEmbeddedFile(embeddedColourProfiles(), "icc/" + fileName);
    if (!file) {
        diagnose("colour", "missing profile " + fileName);
        return {};
    }
    return {file->bytes.begin(), file->bytes.end()};
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
