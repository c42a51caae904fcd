#include "model/HandoffApp.h"

#include <algorithm>
#include <cctype>

namespace oxel {

std::string_view rawValue(HandoffApp app)
{
    switch (app) {
    case HandoffApp::shotwell: return "shotwell";
    case HandoffApp::darktable: return "darktable";
    case HandoffApp::other: break;
    }
    return "other";
}

std::string_view displayName(HandoffApp app)
{
    switch (app) {
    case HandoffApp::shotwell: return "shotwell";
    case HandoffApp::darktable: return "darktable";
    case HandoffApp::other: break;
    }
    return "another application";
}

std::optional<HandoffApp> handoffAppFromRawValue(std::string_view raw)
{
    for (HandoffApp app : allHandoffApps) {
        if (rawValue(app) == raw) return app;
    }
    return std::nullopt;
}

std::optional<HandoffApp> handoffAppFromHostName(const std::optional<std::string>& hostName)
{
    if (!hostName) return std::nullopt;
    std::string lower = *hostName;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (lower.find("shotwell") != std::string::npos) return HandoffApp::shotwell;
    if (lower.find("darktable") != std::string::npos) return HandoffApp::darktable;
    return std::nullopt;
}

} // namespace oxel
