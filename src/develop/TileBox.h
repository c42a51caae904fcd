#pragma once

#include "imaging/Bitmap.h"

#include <optional>

namespace oxel {

// The block a tile draws its picture in, in device pixels.
struct TileBox {
    double width = 0;
    double height = 0;

    // The largest landscape tile block; what the tiles' pictures are made for until the tiles say
    // otherwise.
    static TileBox standard() { return {480, 480}; }

    // The size, in whole pixels, at which a tile draws a picture of `width` x `height`: fitted,
    // proportions kept, as the tile's picture view fits it. Never larger than the picture.
    std::pair<int64_t, int64_t> fitted(int64_t pictureWidth, int64_t pictureHeight) const;
};

// A picture as a tile draws it: fitted to `box` and shrunk by averaging areas, as the tile shrinks
// a picture, into 8-bit RGB of the picture's colour space, with no lossy step. Nothing when memory
// runs out. Runs on any thread.
std::optional<Bitmap> developedCopy(const Bitmap& picture, TileBox box);

} // namespace oxel
