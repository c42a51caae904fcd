#include "platform/BuildInfo.h"

#include "BuildInfoValues.h"

namespace oxel {

BuildInfo::BuildInfo(std::map<std::string, std::string, std::less<>> values) : values_(std::move(values))
{}

const BuildInfo& BuildInfo::main()
{
    static const BuildInfo info(std::map<std::string, std::string, std::less<>>{OXEL_BUILDINFO_ENTRIES});
    return info;
}

std::optional<std::string> BuildInfo::string(std::string_view key) const
{
    auto found = values_.find(key);
    if (found == values_.end() || found->second.empty()) return std::nullopt;
    return found->second;
}

std::string appVersion(const BuildInfo& info)
{
    return info.string("CFBundleShortVersionString").value_or("0");
}

std::string buildNumber(const BuildInfo& info)
{
    return info.string("CFBundleVersion").value_or("0");
}

} // namespace oxel
