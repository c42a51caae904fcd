#pragma once

#include "develop/DevelopInput.h"
#include "imaging/PictureHandle.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

struct AnalysisResponse;
struct ResultWire;

// What one delivered result holds: everything the develop order and the exporter read, plus
// what was declined on the way, the look thumbnails and the bytes as received. Built once by
// whoever receives the result (the job runner, the colour-only path, the library restore) and
// then shared, never changed, as a pointer to const. Its pictures are handles into the shared
// picture cache; what cannot be made again (the analysis, the bytes) is held as it is.
struct JobOutcome : DevelopInput {
    using DevelopInput::DevelopInput;

    std::shared_ptr<const AnalysisResponse> analysis; // came with the result, or was built on this machine
    std::optional<std::string> planDecline;           // why the preview plan was declined
    std::vector<PictureHandle> lookThumbs;            // chosen look first, then the runner-up
    std::shared_ptr<const ResultWire> wire;           // the result's bytes as received, kept by the job runner
};

} // namespace oxel
