#pragma once

#include <string>
#include <vector>

namespace oxel {

// Why a detail transfer was not planned. Its description is what the job runner keeps with the
// outcome, so the texts are stable.
struct TransferDecline {
    enum class Kind { notSameScene, noKernel, noRender };

    Kind kind = Kind::noRender;
    // Scene measures, for notSameScene only.
    float structure = 0;
    std::vector<float> turns;
    float correlation = 0;

    static TransferDecline notSameScene(float structure, std::vector<float> turns, float correlation)
    {
        return {Kind::notSameScene, structure, std::move(turns), correlation};
    }
    static TransferDecline noKernel() { return {Kind::noKernel, 0, {}, 0}; }
    static TransferDecline noRender() { return {Kind::noRender, 0, {}, 0}; }

    std::string description() const;
};

} // namespace oxel
