#pragma once

#include "develop/transfer/TransferDecline.h"
#include "imaging/Image.h"

#include <optional>
#include <vector>

namespace oxel {

// The images and scene measures of one planned detail transfer. Every image has its origin at
// (0, 0); they are lazy recipes except where planning materialised them.
struct TransferPlan {
    Rect target;              // the working rectangle: the original's extent when upscaled, else the render's
    bool upscaled = false;    // the render was scaled up to the original's size
    Image src;                // the original at the target size
    Image originalLow;        // src blurred at radius 1.5
    Image originalLowClipped; // src clipped to the sRGB gamut, then blurred; originalLow for sRGB documents
    Image renderUp;           // the render at the target size
    Image confidence;         // red edge confidence, green agreement, blue edge weight (radius 6)
    Image soft;               // the same, blurred at radius 40
    float structure = 0;      // correlation of the edge grids without turning
    std::vector<float> turns; // edge-grid correlations at 0, 1, 2 and 3 quarter turns
    float correlation = 0;    // correlation of the luminance grids ("luma")
    float divergence = 0;     // share of the edges where the render disagrees, 0...1
};

// A plan, or the reason there is none.
struct PlanResult {
    std::optional<TransferPlan> plan;
    std::optional<TransferDecline> decline;

    explicit operator bool() const { return plan.has_value(); }
};

} // namespace oxel
