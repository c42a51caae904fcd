#pragma once

#include "imaging/Bitmap.h"
#include "imaging/ColourSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <cstdint>
#include <optional>
#include <stop_token>

namespace oxel {

// Renders (0, 0, width, height) of a recipe into an RGBX bitmap of 8 or 16 bits a channel, tagged
// with `colourSpace` (no conversion into it takes place), in bands of `bandRows` rows, so that no
// full-size render buffer is needed besides the output. The next band starts while the last tiles
// of the one before finish, never more than two at once. Every band renders at 16 bits; 8-bit
// output is narrowed from them by rounding. Rows that the picture doesn't reach stay black.
//
// Nothing when the size is not positive, the byte counts overflow, memory runs out, a band fails
// to render or `stop` is asked to stop (no band starts after that). Recipes carry no colour management, so `renderSpace` leaves the samples as they are;
// it is accepted for callers that name the space they render in.
inline constexpr int64_t defaultBandRows = 128;
std::optional<Bitmap> renderBanded(const Image& image, int64_t width, int64_t height, bool sixteenBit,
                                   const ColourSpace& colourSpace, const RenderContext& context,
                                   const ColourSpace* renderSpace = nullptr, int64_t bandRows = defaultBandRows,
                                   std::stop_token stop = {});

// Makes the cached pictures a render of `image` reads and holds them in this thread's open render
// pins; unless `stop` was asked to stop, after which it starts none it still lacks.
void prepareRender(const Image& image, std::stop_token stop = {});

// One 16-bit sample narrowed to 8 bits: (v * 255 + 32767) / 65535 in integers, which is v / 257
// rounded to nearest. The division is done as t / 65535 = (t + (t >> 16) + 1) >> 16, exact for
// every t that occurs here, so that loops of it vectorise.
inline uint8_t narrowTo8Bit(uint16_t v)
{
    const uint32_t t = uint32_t(v) * 255u + 32767u;
    return uint8_t((t + (t >> 16) + 1u) >> 16);
}

} // namespace oxel
