#pragma once

#include "imaging/Bitmap.h"

#include <optional>

namespace oxel {

// The block a tile draws its picture in, in device pixels.
struct TileBox {
    double width = 0;
    double height = 0;

    // The largest landscape tile block; what the previews' copies are made for until the tiles
    // say otherwise.
    static TileBox standard() { return {480, 480}; }

    // The size, in whole pixels, at which a tile draws a picture of `width` x `height`: fitted,
    // proportions kept, as the tile's picture view fits it. Never larger than the picture.
    std::pair<int64_t, int64_t> fitted(int64_t pictureWidth, int64_t pictureHeight) const;
    // Whether a picture of this size, drawn in the block, needs no enlarging.
    bool coveredBy(int64_t pictureWidth, int64_t pictureHeight, int64_t copyWidth, int64_t copyHeight) const;
};

// A developed preview as a tile draws it: fitted to `box` and shrunk by averaging areas, as the
// tile shrinks a picture, into 8-bit RGB of the preview's colour space, with no lossy step. A tile
// shows it in place of the preview it was made from, and cannot tell the two apart. Nothing when
// memory runs out. Runs on any thread.
std::optional<Bitmap> developedCopy(const Bitmap& preview, TileBox box);
// The same of a picture of the preview of `previewWidth` x `previewHeight`, such as the result's
// kept thumbnail: at the size the tile draws that preview, or smaller where the picture is.
std::optional<Bitmap> developedCopy(const Bitmap& picture, TileBox box, int64_t previewWidth, int64_t previewHeight);

} // namespace oxel
