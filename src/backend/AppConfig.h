#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The remote configuration by which the backend steers running applications. Every value is
// tested and bounded when it is read; a bad value falls back to its default, silently.
struct AppConfig {
    std::optional<std::string> minimumAppVersion;
    std::optional<std::string> requireAccountToken;
    bool detailTransferEnabled = true;
    float refineDivergenceLimit = 0.25f;
    float sameSceneStructureLimit = 0.1f;
    bool suggestedGradeEnabled = true;
    std::optional<int64_t> maxInFlightJobs;

    static const AppConfig& defaults();

    // Nothing when the bytes are not JSON or their top level is not an object.
    static std::optional<AppConfig> parse(std::string_view data);

    // True when a minimum version is set and `appVersion` is lower, compared number by number.
    bool requiresUpdate(std::string_view appVersion) const;

    bool operator==(const AppConfig&) const = default;
};

} // namespace oxel
