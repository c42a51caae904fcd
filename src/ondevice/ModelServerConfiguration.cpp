#include "ondevice/ModelServerConfiguration.h"

#include "platform/SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace oxel {
namespace {

std::optional<std::string> nonEmpty(std::optional<std::string> text)
{
    if (text && text->empty()) return std::nullopt;
    return text;
}

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    return nonEmpty(value ? std::optional<std::string>(value) : std::nullopt);
}

std::string withoutTrailingSlashes(std::string url)
{
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

bool isLoopbackIPv4(std::string_view host)
{
    int parts = 0, first = -1;
    while (!host.empty()) {
        const auto dot = host.find('.');
        const auto part = host.substr(0, dot);
        int value = -1;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || error != std::errc() || end != part.data() + part.size() || value > 255)
            return false;
        if (parts++ == 0) first = value;
        if (dot == std::string_view::npos) break;
        host.remove_prefix(dot + 1);
        if (host.empty()) return false;
    }
    return parts == 4 && first == 127;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b,
                              [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace

ModelServerConfiguration ModelServerConfiguration::read(const SettingsStore& settings)
{
    ModelServerConfiguration configuration;
    auto url = environment("OXEL_MODEL_URL");
    if (!url) url = nonEmpty(settings.stringValue("modelServerURL"));
    configuration.url = withoutTrailingSlashes(url.value_or(""));
    configuration.modelName = environment("OXEL_MODEL_NAME");
    if (!configuration.modelName) configuration.modelName = nonEmpty(settings.stringValue("modelName"));
    configuration.readsPictures = settings.boolValue("modelReadsPictures").value_or(true);
    return configuration;
}

bool isLoopbackURL(std::string_view url)
{
    std::string_view rest;
    if (url.starts_with("http://"))
        rest = url.substr(7);
    else if (url.starts_with("https://"))
        rest = url.substr(8);
    else
        return false;
    const auto authority = rest.substr(0, rest.find_first_of("/?#"));
    // User information could make the host read as another one.
    if (authority.find('@') != std::string_view::npos) return false;
    std::string_view host;
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(1, close - 1);
        return host == "::1";
    }
    host = authority.substr(0, authority.find(':'));
    return equalsIgnoringCase(host, "localhost") || isLoopbackIPv4(host);
}

} // namespace oxel
