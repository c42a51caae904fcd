#include "library/KeptAnalysis.h"

#include "library/LibraryFiles.h"

namespace oxel {

std::optional<KeptAnalysis> KeptAnalysis::read(const std::filesystem::path& imageFolder)
{
    const auto bytes = readLibraryFile(imageFolder / "analysis.json");
    if (!bytes) return std::nullopt;
    auto decoded = AnalysisResponse::decode(*bytes);
    if (!decoded) return std::nullopt;
    return KeptAnalysis{std::make_shared<const AnalysisResponse>(*std::move(decoded)),
                        std::vector<uint8_t>(bytes->begin(), bytes->end())};
}

} // namespace oxel
