#include "platform/AppFolders.h"

#include <cstdlib>
#include <string_view>

#ifndef OXEL_BUNDLE_IDENTIFIER
#define OXEL_BUNDLE_IDENTIFIER "pro.oxel.desktop"
#endif

namespace oxel {

namespace {

std::filesystem::path homeDirectory()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::filesystem::path(home) : std::filesystem::temp_directory_path();
}

// XDG says a relative value is invalid and must be ignored.
std::filesystem::path xdgHome(const char* variable, const char* fallbackBelowHome)
{
    const char* value = std::getenv(variable);
    if (value && *value == '/') return std::filesystem::path(value);
    return homeDirectory() / fallbackBelowHome;
}

} // namespace

std::string bundleIdentifier()
{
    return OXEL_BUNDLE_IDENTIFIER;
}

bool isDevelopmentBuild()
{
    constexpr std::string_view suffix = ".dev";
    const std::string identifier = bundleIdentifier();
    return identifier.size() >= suffix.size() &&
           std::string_view(identifier).substr(identifier.size() - suffix.size()) == suffix;
}

std::string appFolderName()
{
    return isDevelopmentBuild() ? "oxel pro dev" : "oxel pro";
}

std::filesystem::path configDirectory()
{
    return xdgHome("XDG_CONFIG_HOME", ".config") / appFolderName();
}
std::filesystem::path dataDirectory()
{
    return xdgHome("XDG_DATA_HOME", ".local/share") / appFolderName();
}
std::filesystem::path cacheDirectory()
{
    return xdgHome("XDG_CACHE_HOME", ".cache") / appFolderName();
}

} // namespace oxel
