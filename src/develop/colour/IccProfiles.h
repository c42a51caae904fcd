#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace oxel {

// Chromaticities of an RGB space, as PNG cHRM chunks and CICP code points give them.
struct Chromaticities {
    double whiteX, whiteY, redX, redY, greenX, greenY, blueX, blueY;
};

// Matrix-and-curve ICC profiles made with lcms2 for files that describe their colour with tags
// instead of a profile. Empty when lcms2 refuses the numbers.
std::vector<uint8_t> iccForPowerCurve(const Chromaticities& chromaticities, double gamma);
std::vector<uint8_t> iccForSRGBCurve(const Chromaticities& chromaticities);

// A profile for CICP (nclx) colour primaries and transfer characteristics; nothing for code
// points that no matrix-and-curve profile describes (PQ, HLG and the like).
std::optional<std::vector<uint8_t>> iccForCICP(int primaries, int transfer);

} // namespace oxel
