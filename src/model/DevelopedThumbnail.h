#pragma once

#include "imaging/Bitmap.h"
#include "imaging/PictureHandle.h"

#include <optional>

namespace oxel {

// A small copy of a developed picture, kept in memory as JPEG bytes (some tens of kilobytes) and
// decoded whenever the shared cache is asked for it. It stands in for an item's preview while the
// preview is made again, so that a tile whose preview the cache let go still shows the developed
// look rather than the original. Nothing when the picture cannot be encoded. Runs on any thread.
std::optional<PictureHandle> developedThumbnail(const Bitmap& developed);

inline constexpr int developedThumbnailPixels = 640;

} // namespace oxel
