#pragma once

#include "develop/grade/GradeLooks.h"
#include "develop/transfer/DetailTransfer.h"
#include "develop/transfer/TransferPlan.h"
#include "imaging/Bitmap.h"
#include "imaging/Image.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

struct ResultWire;

// What one delivered result holds: the relit render with its detail transfer and preview plan,
// the grades and skin mask, the look thumbnails, the grain and the stored picture of a
// colour-only result. Built once by whoever receives the result (the job runner, the colour-only
// path, the library restore) and then shared, never changed, as a pointer to const.
struct JobOutcome {
    JobOutcome(std::string jobId, Image render, DetailTransfer transfer)
        : jobId(std::move(jobId)), render(std::move(render)), transfer(std::move(transfer))
    {}

    std::string jobId;                       // backend job id, or "local-..." on this machine; seeds the grain
    Image render;                            // the relit render as delivered
    DetailTransfer transfer;                 // made for this result; colour-only results have one too
    std::optional<TransferPlan> previewPlan; // the plan made at delivery at the render's size
    std::optional<std::string> planDecline;  // why that plan was declined
    std::optional<GradeLooks> looks;         // only when the analysis carries a grade
    std::vector<Bitmap> lookThumbs;          // chosen look first, then the runner-up
    std::optional<int> grainLevel;           // none: no grain
    bool grainBaked = false;                 // the grain is already in the picture
    bool colourOnly = false;                 // graded on this machine alone
    std::optional<Bitmap> picture;           // a colour-only result's stored picture; replaces the transfer's base
    std::shared_ptr<const ResultWire> wire;  // the result's bytes as received, kept by the job runner
};

} // namespace oxel
