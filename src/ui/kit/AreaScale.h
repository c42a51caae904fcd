#pragma once

#include <QImage>
#include <QSize>

namespace oxel {

// `image` shrunk to `size` by averaging the source area each new pixel covers, in the image's
// own format. Each sample is averaged on its own, which is exact for the opaque three-byte formats
// and the four-byte ones whose alpha is opaque or premultiplied; every other format, and every
// size that enlarges or is empty, goes through Qt's smooth scaling instead. A picture of one colour stays that colour.
//
// Qt's smooth scaling averages areas too, but costs about half a millisecond even for a
// thumbnail; tiles shrink pictures on the main thread, every time they are built or resized.
QImage areaScaled(const QImage& image, QSize size);

} // namespace oxel
