#include "model/RemoteAnswers.h"

#include "develop/grade/LookName.h"

#include <algorithm>

namespace oxel {

std::optional<std::vector<std::string>> suggestedNudges(std::string_view body)
{
    auto json = parseJson(body);
    if (!json || !json->is_object() || json->empty()) return std::nullopt;
    auto nudges = json->find("nudges");
    if (nudges == json->end() || !nudges->is_array()) return std::nullopt;
    std::vector<std::string> kept;
    for (const auto& entry : *nudges) {
        if (!entry.is_string()) return std::nullopt;
        auto text = trimmedWhitespace(entry.get<std::string>());
        if (!text.empty() && std::find(kept.begin(), kept.end(), text) == kept.end()) kept.push_back(text);
    }
    return kept;
}

std::optional<std::string> announcementId(const Json& message)
{
    if (!message.is_object()) return std::nullopt;
    auto id = message.find("id");
    if (id == message.end() || !id->is_string()) return std::nullopt;
    return id->get<std::string>();
}

} // namespace oxel
