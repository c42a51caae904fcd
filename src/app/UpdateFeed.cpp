#include "app/UpdateFeed.h"

#include "platform/JsonFields.h"

#include <algorithm>
#include <vector>

namespace oxel {

namespace {

bool isDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The version's numbers; none unless it is "1", "1.4", "1.4.0" and the like.
std::optional<std::vector<long long>> versionNumbers(std::string_view version)
{
    std::vector<long long> numbers;
    size_t start = 0;
    while (true) {
        size_t dot = version.find('.', start);
        std::string_view part = version.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (!isDigits(part)) return std::nullopt;
        numbers.push_back(std::stoll(std::string(part)));
        if (dot == std::string_view::npos) return numbers;
        start = dot + 1;
    }
}

bool isHttpsPage(std::string_view page)
{
    constexpr std::string_view scheme = "https://";
    return page.size() > scheme.size() && page.starts_with(scheme) && page.size() <= 2048 &&
           std::none_of(page.begin(), page.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7f; });
}

int compareNumbers(const std::vector<long long>& a, const std::vector<long long>& b)
{
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        long long left = i < a.size() ? a[i] : 0;
        long long right = i < b.size() ? b[i] : 0;
        if (left != right) return left < right ? -1 : 1;
    }
    return 0;
}

} // namespace

std::optional<UpdateFeed> parseUpdateFeed(std::string_view bytes)
{
    if (bytes.size() > maxUpdateFeedBytes) return std::nullopt;
    std::optional<Json> json = parseJson(bytes);
    if (!json || !json->is_object()) return std::nullopt;
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto found = json->find(key);
        if (found == json->end() || !found->is_string()) return std::nullopt;
        return found->get<std::string>();
    };
    std::optional<std::string> version = text("version");
    std::optional<std::string> build = text("build");
    std::optional<std::string> page = text("page");
    if (!version || !build || !page) return std::nullopt;
    if (version->size() > 64 || !versionNumbers(*version) || !isDigits(*build) || !isHttpsPage(*page))
        return std::nullopt;
    return UpdateFeed{*version, *build, *page};
}

int compareReleases(std::string_view versionA, std::string_view buildA, std::string_view versionB,
                    std::string_view buildB)
{
    // A version or build of our own that is not a plain number reads as 0, so any feed is newer.
    std::vector<long long> a = versionNumbers(versionA).value_or(std::vector<long long>{0});
    std::vector<long long> b = versionNumbers(versionB).value_or(std::vector<long long>{0});
    if (int byVersion = compareNumbers(a, b)) return byVersion;
    long long left = isDigits(buildA) ? std::stoll(std::string(buildA)) : 0;
    long long right = isDigits(buildB) ? std::stoll(std::string(buildB)) : 0;
    return left < right ? -1 : left > right ? 1 : 0;
}

} // namespace oxel
