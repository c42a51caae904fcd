#pragma once

#include <string_view>

namespace oxel {

// Whether a network interface other than loopback is up and has an address. Without one nothing
// beyond this computer can be reached: the computer is offline.
bool hasNetworkBeyondLoopback();

// Whether a URL's host is this computer ("localhost", 127.x.x.x or ::1), which needs no network.
bool isLoopbackHost(std::string_view url);

} // namespace oxel
