#pragma once

namespace oxel {

// What planning a result's preview found, known without the plan itself: whether the render
// matched the original, and how far it diverged from it.
struct PlanVerdict {
    bool matched = false;
    float divergence = 0;

    bool operator==(const PlanVerdict&) const = default;
};

} // namespace oxel
