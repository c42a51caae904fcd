#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The newest release as the update feed describes it:
// {"version": "1.4.0", "build": "140", "page": "https://..."}.
struct UpdateFeed {
    std::string version;
    std::string build;
    std::string page;
};

// Feeds larger than this are refused unread.
inline constexpr size_t maxUpdateFeedBytes = 16 * 1024;

// Reads a feed strictly: an object with the three texts, a version of dot-separated numbers, a
// build number of digits and an https page. Anything else is none.
std::optional<UpdateFeed> parseUpdateFeed(std::string_view bytes);

// Orders two releases by the numbers of their versions (missing ones count as 0), then by build
// number: negative, zero or positive as `a` is older, the same or newer.
int compareReleases(std::string_view versionA, std::string_view buildA, std::string_view versionB,
                    std::string_view buildB);

} // namespace oxel
