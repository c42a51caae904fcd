#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QWindow;

namespace oxel {

// The X11 startup-notification token a later start forwarded (its DESKTOP_STARTUP_ID): the
// window is activated with the token's time, so the window manager's focus-stealing prevention
// lets it come forward, and the launcher is told the start is complete, ending its busy cursor.
// False when the session is not X11 (the caller activates the usual way then).
bool activateWithStartupToken(QWindow& window, const std::string& token);

// The user time a token carries ("..._TIME<time>"), if any.
std::optional<uint32_t> startupTokenTime(const std::string& token);

// The startup-notification "remove" message for a token, its value quoted and escaped as the
// protocol asks.
std::string startupRemoveMessage(const std::string& token);

} // namespace oxel
