#pragma once

#include "imaging/Bitmap.h"

#include <memory>
#include <optional>

namespace oxel {

// Finds the people in a picture. Skin hold uses it to keep skin-coloured walls and wood from
// counting as skin; without one every skin-coloured pixel counts.
class PersonSegmenter {
public:
    virtual ~PersonSegmenter() = default;

    // A one-channel 8-bit mask (white on people) for an RGBA8 sRGB picture, at any size; nothing
    // when segmentation fails.
    virtual std::optional<Bitmap> personMask(const Bitmap& picture) const = 0;

    // The segmenter of this process; none until one is installed.
    static std::shared_ptr<const PersonSegmenter> installed();
    static void install(std::shared_ptr<const PersonSegmenter> segmenter);
};

} // namespace oxel
