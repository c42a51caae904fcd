#pragma once

#include "platform/JsonFields.h"

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// Bytes that may not be UTF-8, a file name unpacked from another system say, carried through JSON,
// which holds only UTF-8 text.

// The bytes with every invalid sequence replaced by U+FFFD.
std::string readableText(std::string_view bytes);

// Upper-case hexadecimal digits, two a byte, and back; nothing for anything else.
std::string hexDigits(std::string_view bytes);
std::optional<std::string> bytesOfHexDigits(std::string_view digits);

// Writes `bytes` under `key` readable and, when that is not the bytes themselves, the exact bytes
// as hexadecimal digits under `key` + "Bytes".
void putExactText(Json& object, const std::string& key, std::string_view bytes);
// What `putExactText` wrote: the exact bytes when they are there and well formed, else the text
// under `key`; nothing when neither is. A text of the wrong type throws `JsonFieldError`.
std::optional<std::string> optionalExactText(const Json& object, const std::string& key);

} // namespace oxel
