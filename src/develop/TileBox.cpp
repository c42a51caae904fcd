#include "develop/TileBox.h"

#include "imaging/AreaAverage.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <algorithm>
#include <cmath>

namespace oxel {

std::pair<int64_t, int64_t> TileBox::fitted(int64_t pictureWidth, int64_t pictureHeight) const
{
    if (pictureWidth < 1 || pictureHeight < 1 || width <= 0 || height <= 0) return {0, 0};
    const double scale = std::min({width / double(pictureWidth), height / double(pictureHeight), 1.0});
    // Rounded as the picture view rounds its device size.
    const auto rounded = [](double size) { return std::max<int64_t>(1, std::llround(size)); };
    return {rounded(double(pictureWidth) * scale), rounded(double(pictureHeight) * scale)};
}

std::optional<Bitmap> developedCopy(const Bitmap& picture, TileBox box)
{
    const auto [width, height] = box.fitted(picture.width(), picture.height());
    if (width < 1 || height < 1) return std::nullopt;
    if (auto averaged = areaAveragedRGB8(picture, width, height)) return averaged;
    // A picture of deeper samples: drawn at its own size in 8 bits first.
    const auto eight =
        RenderContext().renderBitmap(Image::fromBitmap(picture), PixelRect{0, 0, picture.width(), picture.height()},
                                     PixelFormat::RGBX8, picture.colourSpace());
    return eight ? areaAveragedRGB8(*eight, width, height) : std::nullopt;
}

} // namespace oxel
