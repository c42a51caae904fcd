#pragma once

#include "develop/PreviewPlan.h"
#include "develop/TileInputCache.h"
#include "develop/grade/GradeLooks.h"
#include "develop/transfer/DetailTransfer.h"
#include "imaging/Bitmap.h"
#include "imaging/Image.h"
#include "imaging/PictureHandle.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// What developing and exporting one delivered result read: the relit render with its detail
// transfer and preview plan, the grades and skin mask, the grain and the stored picture of a
// colour-only result. Whoever keeps results (the library's job outcome) builds on this; the
// develop order and the exporter never change it. It holds no pixels of its own: pictures that
// can be made again are reached through the shared picture cache, so the same input always gives
// the same pixels whether or not they were let go in between.
struct DevelopInput {
    DevelopInput(std::string jobId, Image render, DetailTransfer transfer)
        : jobId(std::move(jobId)), render(std::move(render)), transfer(std::move(transfer))
    {}

    std::string jobId;                    // backend job id, or "local-..." on this machine; seeds the grain
    Image render;                         // the relit render as delivered
    DetailTransfer transfer;              // made for this result; colour-only results have one too
    PreviewPlan previewPlan;              // the plan at the render's size: made at delivery, or deferred
    std::optional<GradeLooks> looks;      // only when the analysis carries a grade
    std::optional<int> grainLevel;        // none: no grain
    bool grainBaked = false;              // the grain is already in the picture
    bool colourOnly = false;              // graded on this machine alone
    std::optional<PictureHandle> picture; // a colour-only result's stored picture; replaces the transfer's base

    // What the result's tile pictures keep between renders; copies of the result share it.
    std::shared_ptr<TileInputCache> tileInputs = std::make_shared<TileInputCache>();
};

} // namespace oxel
