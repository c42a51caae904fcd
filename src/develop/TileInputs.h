#pragma once

#include "develop/grade/GradeLooks.h"
#include "develop/transfer/TransferPlan.h"
#include "imaging/Image.h"

#include <optional>

namespace oxel {

// What a result's pictures of one tile size read at every render, made once for that size: the
// transfer's plan at it, or else the picture before grading shrunk to it, the looks with their
// skin mask at it and the grain that covers it. Every picture reads through the shared picture
// cache, which makes it again from its recipe once it was let go.
struct TileInputs {
    std::optional<TransferPlan> plan;
    Image base; // the picture before grading, where there is no plan
    std::optional<GradeLooks> looks;
    std::optional<Image> grain;
};

} // namespace oxel
