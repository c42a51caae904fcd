#include "develop/segment/Network.h"

#include <algorithm>
#include <memory>

namespace oxel::segment {

std::vector<float> Network::run(std::span<const float> input) const
{
    const Program& p = program_;
    if (input.size() != p.input.size()) return {};
    const auto scratch = std::make_unique<float[]>(p.scratchSize);
    std::copy(input.begin(), input.end(), scratch.get() + p.inputOffset);
    for (const auto& step : p.steps) step(scratch.get());
    const float* out = scratch.get() + p.outputOffset;
    return std::vector<float>(out, out + p.output.size());
}

} // namespace oxel::segment
