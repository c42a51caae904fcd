#pragma once

#include "backend/AnalysisResponse.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace oxel {

// The analysis a result was delivered with, as its image's folder keeps it ("analysis.json"):
// decoded, and its bytes.
struct KeptAnalysis {
    std::shared_ptr<const AnalysisResponse> analysis;
    std::vector<uint8_t> bytes;

    // Nothing when the file is missing, a link, not a plain file or not an analysis.
    static std::optional<KeptAnalysis> read(const std::filesystem::path& imageFolder);
};

} // namespace oxel
