#pragma once

#include "backend/BackendFailure.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Field readers for the strict wire records. A missing required key or a value of the wrong type
// throws a `JsonFieldError`, which `decodeRecord` returns as its `DecodingError`; a missing or null
// optional key gives nothing.
struct JsonFieldError {
    DecodingError error;
};

using Json = nlohmann::json;

// Parses bytes as JSON without throwing; nothing when they are not JSON or nest more than 512
// levels deep.
std::optional<Json> parseJson(std::string_view bytes);

const Json& requireObject(const Json& value, std::string_view what);

std::string requiredText(const Json& object, const char* key);
std::optional<std::string> optionalText(const Json& object, const char* key);
int64_t requiredInteger(const Json& object, const char* key);
std::optional<int64_t> optionalInteger(const Json& object, const char* key);
bool requiredBoolean(const Json& object, const char* key);
std::optional<bool> optionalBoolean(const Json& object, const char* key);
std::optional<std::vector<std::string>> optionalTextList(const Json& object, const char* key);
std::optional<std::map<std::string, std::string>> optionalTextMap(const Json& object, const char* key);

// A whole JSON number that fits a signed 64-bit integer (3.0 counts, 3.5 does not).
std::optional<int64_t> wholeNumber(const Json& value);

// The body as UTF-8 text compactly serialised from a JSON value; invalid text is repaired.
std::string compactJson(const Json& value);

// Parses the bytes and reads them with `read`, catching every field error as a `DecodingError`.
template <class T, class Reader>
BackendResult<T> decodeRecord(std::string_view bytes, Reader read)
{
    auto json = parseJson(bytes);
    if (!json) return DecodingError{"", "the data is not valid JSON"};
    try {
        return read(*json);
    } catch (const JsonFieldError& error) {
        return error.error;
    }
}

} // namespace oxel
