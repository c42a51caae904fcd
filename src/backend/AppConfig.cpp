#include "backend/AppConfig.h"

#include "platform/JsonFields.h"

#include <charconv>
#include <vector>

namespace oxel {
namespace {

template <class T>
std::optional<T> typedValue(const Json& object, const char* key, bool (Json::*isType)() const noexcept)
{
    auto found = object.find(key);
    if (found == object.end() || !((*found).*isType)()) return std::nullopt;
    return found->get<T>();
}

std::optional<double> limit(const Json& object, const char* key, bool acceptsZero)
{
    auto value = typedValue<double>(object, key, &Json::is_number);
    if (!value) return std::nullopt;
    bool aboveLow = acceptsZero ? *value >= 0 : *value > 0;
    if (!aboveLow || *value > 1) return std::nullopt;
    return value;
}

// A version piece as a decimal integer with an optional sign; anything else counts as 0.
int64_t versionNumber(std::string_view piece)
{
    if (piece.size() > 1 && piece.front() == '+' && piece[1] != '-') piece.remove_prefix(1);
    int64_t number = 0;
    auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), number);
    if (error != std::errc() || end != piece.data() + piece.size() || piece.empty()) return 0;
    return number;
}

std::vector<int64_t> versionNumbers(std::string_view version)
{
    std::vector<int64_t> numbers;
    size_t start = 0;
    while (start <= version.size()) {
        size_t dot = version.find('.', start);
        if (dot == std::string_view::npos) dot = version.size();
        if (dot > start) numbers.push_back(versionNumber(version.substr(start, dot - start)));
        start = dot + 1;
    }
    return numbers;
}

} // namespace

const AppConfig& AppConfig::defaults()
{
    static const AppConfig config;
    return config;
}

std::optional<AppConfig> AppConfig::parse(std::string_view data)
{
    auto json = parseJson(data);
    if (!json || !json->is_object()) return std::nullopt;
    const Json& object = *json;
    AppConfig config;
    config.minimumAppVersion = typedValue<std::string>(object, "proMinimumAppVersion", &Json::is_string);
    config.requireAccountToken = typedValue<std::string>(object, "requireAccountToken", &Json::is_string);
    config.detailTransferEnabled =
        typedValue<bool>(object, "detailTransferEnabled", &Json::is_boolean).value_or(config.detailTransferEnabled);
    config.refineDivergenceLimit =
        float(limit(object, "refineDivergenceLimit", false).value_or(config.refineDivergenceLimit));
    config.sameSceneStructureLimit =
        float(limit(object, "sameSceneStructureLimit", true).value_or(config.sameSceneStructureLimit));
    config.suggestedGradeEnabled =
        typedValue<bool>(object, "suggestedGradeEnabled", &Json::is_boolean).value_or(config.suggestedGradeEnabled);
    if (auto found = object.find("maxInFlightJobs"); found != object.end())
        config.maxInFlightJobs = wholeNumber(*found);
    return config;
}

bool AppConfig::requiresUpdate(std::string_view appVersion) const
{
    if (!minimumAppVersion || minimumAppVersion->empty()) return false;
    auto mine = versionNumbers(appVersion);
    auto minimum = versionNumbers(*minimumAppVersion);
    if (mine.empty() || minimum.empty()) return false;
    for (size_t i = 0; i < std::max(mine.size(), minimum.size()); ++i) {
        int64_t a = i < mine.size() ? mine[i] : 0;
        int64_t b = i < minimum.size() ? minimum[i] : 0;
        if (a != b) return a < b;
    }
    return false;
}

} // namespace oxel
