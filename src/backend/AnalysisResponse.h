#pragma once

#include "develop/grade/SuggestedGrade.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The analysis that comes with every result; also the library's "analysis.json". Read leniently:
// every field falls back to its default, and only a value that is not a JSON object fails.
struct AnalysisResponse {
    struct Grain {
        int64_t refined = 1;
        int64_t full_send = 2;
        bool operator==(const Grain&) const = default;
    };

    struct Descriptions {
        std::string original;
        std::string refined;
        std::string full_send;
        bool operator==(const Descriptions&) const = default;
    };

    std::string perceived_intent;
    std::vector<std::string> descriptors;
    bool isBlackAndWhite = false;
    Grain grain;
    Descriptions descriptions;
    std::optional<SuggestedGrade> grade;
    std::optional<std::string> gradeLookAlt;

    static Decoded<AnalysisResponse> read(const Json& value);
    static Decoded<AnalysisResponse> decode(std::string_view bytes);

    bool operator==(const AnalysisResponse&) const = default;
};

// The analysis as the JSON object its reader reads back: the runner-up look sits inside "grade",
// and "grade" is left out when there is none.
void to_json(Json& json, const AnalysisResponse& analysis);

} // namespace oxel
