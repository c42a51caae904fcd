#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// Standard base64 with padding and without line breaks.
std::string base64Encoded(std::string_view bytes);

// Decodes base64, ignoring every character outside the alphabet (line breaks, blanks, a
// "data:...;base64," prefix is not stripped here). Nothing when the remaining length is impossible.
std::optional<std::string> base64Decoded(std::string_view text);

// Decodes only the canonical form `base64Encoded` writes: the alphabet alone, padded to whole
// groups of four, with no bits set past the last byte. Stored records use it; a result picture
// from the backend uses the lenient decoder above.
std::optional<std::string> base64DecodedStrictly(std::string_view text);

} // namespace oxel
