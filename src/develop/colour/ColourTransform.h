#pragma once

#include "develop/codecs/PictureCodec.h"
#include "imaging/Bitmap.h"
#include "imaging/ColourSpace.h"

#include <optional>

namespace oxel {

// The samples of a decoded file as a bitmap. RGB samples, and grey samples without a grey
// profile, keep their stored values (to be read in the file's own space). Grey with a grey
// profile, CMYK and Lab become sRGB values through lcms2, 16 bits a channel.
std::optional<Bitmap> bitmapOf(const Samples& samples, const std::vector<uint8_t>& icc);

// Whether `bitmapOf` converts samples of this model and profile to sRGB.
bool convertsToSRGB(ColourModel model, const std::vector<uint8_t>& icc);

// Whether two colour tags name the same space (equal profiles, or the same platform name).
bool isSameSpace(const ColourSpace& a, const ColourSpace& b);

// An 8 or 16-bit RGBX bitmap's colours matched from one space to another (perceptual intent) into
// an RGBX bitmap of 8 or 16 bits tagged with `to`; between equal spaces only the tag changes.
// A grey `from` profile reads grey repeated in R, G and B (a grey picture drawn into RGBX).
// Nothing when either space has no usable profile.
std::optional<Bitmap> matchColours(const Bitmap& rgbx, const ColourSpace& from, const ColourSpace& to, bool sixteenBit);

} // namespace oxel
