// Feeds arbitrary bytes to the ICC profile reader: it must answer with a space or nothing, never
// read outside the data, and never give a space whose curves or matrices aren't finite.
#include "develop/colour/RGBSpace.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto space = oxel::RGBSpace::fromICC(std::span<const uint8_t>(data, size));
    if (!space) return 0;
    for (double g : space->gamma)
        if (!std::isfinite(g) || g <= 0) std::abort();
    for (double v : space->fromXYZ)
        if (!std::isfinite(v)) std::abort();
    (void)space->isNearSRGB();
    return 0;
}
