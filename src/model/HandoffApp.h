#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// A host application that hands pictures over with an explicit hand-off, and whose set-up guide
// the views show. `other` stands for any host that is not recognised by name.
enum class HandoffApp { shotwell, darktable, other };

inline constexpr std::array<HandoffApp, 3> allHandoffApps{HandoffApp::shotwell, HandoffApp::darktable,
                                                          HandoffApp::other};

// The text stored in the "handoffSeen." keys.
std::string_view rawValue(HandoffApp app);
// What the set-up links and menu items show after "set up ".
std::string_view displayName(HandoffApp app);
// The case whose raw value equals `raw` exactly, including case.
std::optional<HandoffApp> handoffAppFromRawValue(std::string_view raw);

// The host a sending application's name stands for: its lower-cased name containing "shotwell" or
// "darktable"; none for no name or any other name.
std::optional<HandoffApp> handoffAppFromHostName(const std::optional<std::string>& hostName);

} // namespace oxel
