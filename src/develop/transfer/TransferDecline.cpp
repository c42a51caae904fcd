#include "develop/transfer/TransferDecline.h"

#include <cstdio>

namespace oxel {

namespace {

std::string formatted(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", double(value));
    return text;
}

} // namespace

std::string TransferDecline::description() const
{
    switch (kind) {
    case Kind::noKernel: return "core image kernels failed to compile";
    case Kind::noRender: return "no render";
    case Kind::notSameScene: break;
    }
    std::string joinedTurns;
    for (size_t i = 0; i < turns.size(); ++i) {
        if (i) joinedTurns += ' ';
        joinedTurns += formatted(turns[i]);
    }
    return "not the same photograph (structure " + formatted(structure) + ", turns " + joinedTurns + ", luma " +
           formatted(correlation) + ")";
}

} // namespace oxel
