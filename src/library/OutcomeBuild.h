#pragma once

#include "backend/AnalysisResponse.h"
#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"
#include "develop/transfer/TransferLimits.h"
#include "imaging/Bitmap.h"
#include "library/JobOutcome.h"
#include "library/KeptResult.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// What a collected result is built from: copies and immutable shares only, so the build runs on
// any thread while the job waits.
struct ResultToBuild {
    std::string jobId;
    std::shared_ptr<const std::vector<uint8_t>> picture; // the result's picture file
    std::shared_ptr<const AnalysisResponse> analysis;
    std::shared_ptr<const std::string> body; // the result answer as received
    SourceImage original;
    TransferLimits limits;
    DevelopSettings preview{.colour = 0}; // how the first preview is developed: the chosen look, no colour
    bool finishedByBackend = false;       // the backend finished the picture itself, grain included
};

// A built result and what the item shows and keeps of it at delivery.
struct BuiltResult {
    std::shared_ptr<const JobOutcome> outcome;
    std::optional<PictureHandle> preview; // developed as the request's `preview` says, when first shown
    std::optional<PictureHandle> base;    // the picture before grading, when first shown
    std::optional<Bitmap> tilePicture;    // developed as `preview`, fitted to the standard tile block
    std::optional<KeptResult> keep;
};

// Builds the outcome of a collected result: the render (refined here unless the backend finished
// it), its detail transfer and preview plan, the looks and their thumbnails, the first tile picture
// with the preview and base picture made when first shown, and the bytes to keep. Nothing when the picture cannot be read, or when `stop`
// was requested before the build finished.
std::optional<BuiltResult> buildResult(const ResultToBuild& result, std::stop_token stop = {});

// The outcome's picture before grading: a colour-only result's picture; else the preview plan's
// source rendered at the plan's size, 8 bits, in the document space; nothing without a plan.
std::optional<Bitmap> basePicture(const JobOutcome& outcome);

// The picture as PNG, written for speed; nothing when writing fails.
std::optional<std::vector<uint8_t>> pngData(const Bitmap& picture);

// The "analysis" member of a result answer written again compactly with sorted keys; nothing when
// the body is no JSON object, has no such member or cannot be written.
std::optional<std::vector<uint8_t>> analysisJSON(std::string_view body);

// "png" for bytes that begin with the PNG signature's first four bytes, else "jpg".
std::string keptRenderExtension(std::span<const uint8_t> bytes);

} // namespace oxel
