#include "app/HandoffApp.h"

#include "app/AsciiLowered.h"

namespace oxel {

std::string_view rawValue(HandoffApp app)
{
    switch (app) {
    case HandoffApp::shotwell: return "shotwell";
    case HandoffApp::darktable: return "darktable";
    case HandoffApp::other: return "other";
    }
    return "other";
}

std::string_view displayName(HandoffApp app)
{
    switch (app) {
    case HandoffApp::shotwell: return "shotwell";
    case HandoffApp::darktable: return "darktable";
    case HandoffApp::other: return "another application";
    }
    return "another application";
}

std::string seenFlagKey(HandoffApp app)
{
    return "handoffSeen." + std::string(rawValue(app));
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
    std::string lowered = asciiLowered(*hostName);
    if (lowered.find("shotwell") != std::string::npos) return HandoffApp::shotwell;
    if (lowered.find("darktable") != std::string::npos) return HandoffApp::darktable;
    return std::nullopt;
}

} // namespace oxel
