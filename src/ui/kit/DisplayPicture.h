#pragma once

#include "imaging/Bitmap.h"

#include <QImage>
#include <QSize>

#include <optional>

namespace oxel {

// Pictures as the screen takes them: 8-bit sRGB. Qt draws no colour-managed images, so a picture
// in a wider space is brought to sRGB first; the monitor itself is taken to be sRGB.

// Whether a bitmap is already 8-bit RGB, RGBX or RGBA in sRGB (or carries no colour tag at all).
bool isDisplayReady(const Bitmap& bitmap);

// A QImage over the bitmap's own pixels, without a copy; the image keeps the pixels alive.
// Nothing for a bitmap that is not display-ready or has no pixels.
std::optional<QImage> wrappedForDisplay(const Bitmap& bitmap);

// The bitmap's colours brought to sRGB by the develop engine's colour transform, in a new 8-bit
// image. A space that cannot be read is shown as if it were sRGB. Nothing for an empty bitmap or
// when memory runs out. Slow for large pictures: run it off the main thread.
std::optional<QImage> convertedForDisplay(const Bitmap& bitmap);

// The bitmap shrunk to `size` (or enlarged) and brought to sRGB, in a new 8-bit image; an 8-bit
// picture in another space is shrunk first, so only the pixels left are converted. Null for an empty
// bitmap or size, or when memory runs out. Slow for large pictures: run it off the main thread
// unless the bitmap is display-ready.
QImage scaledForDisplay(const Bitmap& bitmap, QSize size);

// Whether two bitmaps would show the same: the same pixels, layout and colour tag.
bool sameDisplayIdentity(const Bitmap& a, const Bitmap& b);

} // namespace oxel
