#pragma once

#include "platform/JsonFields.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// What the model itself reads of the backend's configuration answers, which may hold anything.

// The "nudges" of a suggestions answer, trimmed, without empty texts and repeats; none when the
// answer is not an object with a list of texts under "nudges".
std::optional<std::vector<std::string>> suggestedNudges(std::string_view body);

// The "id" text of an announcement; none when it has none or it is not a text.
std::optional<std::string> announcementId(const Json& message);

} // namespace oxel
