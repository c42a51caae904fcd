#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace oxel {

// Whether `scaledRGB8` reads bitmaps of this format: 8-bit grey, RGB, RGBX and RGBA.
bool scalesToRGB8(PixelFormat format);

// `stored` resampled with the same Lanczos-3 weights as a rendered resample to `width` x `height`
// (sizes before the turn), reading edge pixels beyond its sides, then turned upright by the EXIF
// `orientation`: packed RGB8 tagged `colourSpace`. Alpha is dropped and grey repeats in R, G and B.
// Works on the 8-bit samples directly, without the float tiles of a render, so a thumbnail costs
// little beside its decode; values agree with a render to within one step. Nothing for other
// formats, empty sizes, or when memory runs out.
std::optional<Bitmap> scaledRGB8(const Bitmap& stored, int64_t width, int64_t height, int orientation,
                                 const ColourSpace& colourSpace);

// `scaledRGB8` for a stored picture that arrives one row at a time, top to bottom, as a decoder
// gives it: only the rows the filter still needs are held, never the whole picture, and the
// values are those `scaledRGB8` gives. Scales on the calling thread.
class RGB8Scaler {
public:
    // Nothing for formats `scaledRGB8` refuses, empty sizes, or when memory runs out.
    static std::optional<RGB8Scaler> start(int64_t storedWidth, int64_t storedHeight, PixelFormat format, int64_t width,
                                           int64_t height, int orientation, const ColourSpace& colourSpace);
    RGB8Scaler(RGB8Scaler&&) noexcept;
    RGB8Scaler& operator=(RGB8Scaler&&) noexcept;
    ~RGB8Scaler();

    // The next stored row, in the format given at the start.
    void add(const uint8_t* row);
    // The scaled picture once every stored row was added; nothing before.
    std::optional<Bitmap> finish();

private:
    struct State;
    explicit RGB8Scaler(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace oxel
