#pragma once

#include <string>

namespace oxel {

// Opens a URL with the desktop's handler for it (the web browser for http and https), without
// waiting for it. False when the handler could not be started.
bool openURL(const std::string& url);

} // namespace oxel
