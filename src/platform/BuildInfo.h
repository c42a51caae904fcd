#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The application's build-info record: texts fixed when the program is built ("BackendURL",
// "CFBundleShortVersionString", "CFBundleVersion", the sign-in client ids, ...). A key whose value
// was left empty at build time is absent.
class BuildInfo {
public:
    explicit BuildInfo(std::map<std::string, std::string, std::less<>> values);

    // The record compiled into this program.
    static const BuildInfo& main();

    std::optional<std::string> string(std::string_view key) const;

private:
    std::map<std::string, std::string, std::less<>> values_;
};

// The application's short version text ("CFBundleShortVersionString"), "0" when absent.
std::string appVersion(const BuildInfo& info = BuildInfo::main());

// The build number ("CFBundleVersion"), "0" when absent.
std::string buildNumber(const BuildInfo& info = BuildInfo::main());

} // namespace oxel
