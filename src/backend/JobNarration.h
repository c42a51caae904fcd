#pragma once

#include "platform/JsonFields.h"

#include <optional>
#include <string>
#include <vector>

namespace oxel {

// What the backend says about a job while it works: words about the picture, its intent and the
// direction it takes. Equal when every field is equal (absent equals only absent).
struct JobNarration {
    std::optional<std::vector<std::string>> descriptors;
    std::optional<std::string> perceivedIntent;
    std::optional<std::string> direction;

    bool operator==(const JobNarration&) const = default;

    // Reads "descriptors", "perceived_intent" and "direction"; a wrong type throws `JsonFieldError`.
    static JobNarration read(const Json& value);
};

} // namespace oxel
