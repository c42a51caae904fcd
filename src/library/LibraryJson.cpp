#include "library/LibraryJson.h"

#include "backend/AnalysisResponse.h"

namespace oxel {

std::string storedRecordBytes(const Json& json)
{
    const std::string text = json.dump(2);
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 16);
    // A slash only ever stands inside a string of the dump, where "\/" reads back as "/".
    for (char c : text) {
        if (c == '/') escaped.push_back('\\');
        escaped.push_back(c);
    }
    return escaped;
}

std::vector<uint8_t> analysisBytes(const AnalysisResponse& analysis)
{
    Json json;
    to_json(json, analysis);
    const std::string text = compactJson(json);
    return {text.begin(), text.end()};
}

} // namespace oxel
