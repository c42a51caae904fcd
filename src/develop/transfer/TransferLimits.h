#pragma once

namespace oxel {

// The limits under which detail is transferred; defaults until a remote configuration replaces them.
struct TransferLimits {
    // A plan whose divergence exceeds this is combined at full strength.
    float refineDivergenceLimit = 0.25f;
    // The plan's structure must exceed this, or the render is taken for another scene.
    float sameSceneLimit = 0.1f;
    // The transfer switch; in planning it allows the render to be scaled up to the original.
    bool detailTransferEnabled = true;

    bool operator==(const TransferLimits&) const = default;
};

} // namespace oxel
