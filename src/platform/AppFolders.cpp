#include "platform/AppFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <unistd.h>
#include <vector>

#ifndef OXEL_BUNDLE_IDENTIFIER
#define OXEL_BUNDLE_IDENTIFIER "pro.oxel.desktop"
#endif

namespace oxel {

namespace {

// XDG says a relative value is invalid and must be ignored.
std::filesystem::path xdgHome(const char* variable, const char* fallbackBelowHome)
{
    const char* value = std::getenv(variable);
    if (value && *value == '/') return std::filesystem::path(value);
    return homeDirectory() / fallbackBelowHome;
}

} // namespace

// Never a shared folder such as /tmp, where others could read or plant the settings: with no home
// at all, a folder that cannot be made, so that nothing is written.
std::filesystem::path homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return "/nonexistent";
}

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
