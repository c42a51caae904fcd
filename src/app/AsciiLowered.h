#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace oxel {

// Lower-cases ASCII letters only: names and schemes compared here are ASCII, and other bytes
// (UTF-8 included) stay as they are, whatever the locale.
inline std::string asciiLowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
    return result;
}

} // namespace oxel
