#pragma once

#include <string>
#include <string_view>

namespace oxel {

// A backend job id goes into request paths as it stands, so only what the backend hands out is
// taken for one: one path segment of 1 to `longestJobId` letters, digits, '-' and '_'. Ids are
// checked where they are read (the backend's answers, the library's records, the user defaults)
// and again before a request is built.
constexpr size_t longestJobId = 128;
bool isJobId(std::string_view text);

// The diagnostic line for text refused as a job id where it was read: the start of the text, with
// anything but printable ASCII shown as '?'.
std::string refusedJobId(std::string_view text, std::string_view where);

} // namespace oxel
