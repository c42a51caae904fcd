#pragma once

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// `text` without Unicode white space and line breaks at either end. Text that is not valid UTF-8
// is trimmed of ASCII white space only.
std::string trimmedWhitespace(std::string_view text);

// A look name as grades and the house looks compare it: trimmed, with ASCII letters lower-cased.
// Other characters are kept byte for byte.
std::string normalisedLookName(std::string_view text);

// The look name held by `object` at `key`; none when the key is absent or does not hold text.
std::optional<std::string> lookNameIn(const nlohmann::json& object, const char* key);

} // namespace oxel
