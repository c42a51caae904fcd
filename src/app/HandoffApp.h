#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The photo applications that hand photographs over for editing, and how a sender's name is
// recognised as one of them. `other` stands for any application set up by hand; no name maps to it.
enum class HandoffApp { shotwell, darktable, other };

inline constexpr std::array<HandoffApp, 3> allHandoffApps{HandoffApp::shotwell, HandoffApp::darktable,
                                                          HandoffApp::other};

std::string_view rawValue(HandoffApp app);
std::string_view displayName(HandoffApp app);
// The stored flag that says a hand-off from this application arrived at least once.
std::string seenFlagKey(HandoffApp app);

// The case whose raw value equals `raw` exactly, including case.
std::optional<HandoffApp> handoffAppFromRawValue(std::string_view raw);
// The application a sender's name belongs to: the lower-cased name containing "shotwell" or
// "darktable". Anything else, and no name, gives none.
std::optional<HandoffApp> handoffAppFromHostName(const std::optional<std::string>& hostName);

} // namespace oxel
