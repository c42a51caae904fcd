#pragma once

#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <optional>
#include <vector>

namespace oxel {

// A cheap scene fingerprint: a picture reduced to a 64 x 64 grid of luminance (row after row, top
// row first), an edge-strength grid made from it, and normalised correlations between grids,
// also with the second grid turned by quarter turns. Thresholds belong to the callers.
struct Fingerprint {
    static constexpr int side = 64;
    static constexpr size_t cells = size_t(side) * side;
    // The value a correlation takes when none came back (a flat grid, a wrong length).
    static constexpr float failed = -2.0f;

    // The luminance grid, or nothing when the extent is empty or not finite, or the picture holds
    // a value that is not finite.
    static std::optional<std::vector<float>> make(const Image& image, const RenderContext& context);

    // The edge strength (square root of the gradient length) of the grid smoothed by a 5-tap
    // binomial filter; empty unless the input holds exactly 64 x 64 values.
    static std::vector<float> smoothed(const std::vector<float>& grid);

    // Normalised correlation in single precision; nothing when the lengths differ, are zero, or
    // either side is flat.
    static std::optional<float> correlation(const std::vector<float>& a, const std::vector<float>& b);

    // Four correlations: the second grid turned by 0, 1, 2 and 3 quarter turns; a failure gives -2.
    static std::vector<float> correlations(const std::vector<float>& a, const std::vector<float>& b);
};

} // namespace oxel
