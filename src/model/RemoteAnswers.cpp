#include "model/RemoteAnswers.h"

#include <algorithm>

namespace oxel {

namespace {

std::string trimmed(const std::string& text)
{
    static constexpr const char* space = " \t\n\r\f\v";
    auto first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

} // namespace

std::optional<std::vector<std::string>> suggestedNudges(std::string_view body)
{
    auto json = parseJson(body);
    if (!json || !json->is_object() || json->empty()) return std::nullopt;
    auto nudges = json->find("nudges");
    if (nudges == json->end() || !nudges->is_array()) return std::nullopt;
    std::vector<std::string> kept;
    for (const auto& entry : *nudges) {
        if (!entry.is_string()) return std::nullopt;
        auto text = trimmed(entry.get<std::string>());
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
