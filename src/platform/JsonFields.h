#pragma once

#include "platform/Decoded.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// Field readers for strict JSON records. A missing required key or a value of the wrong type
// throws a `JsonFieldError`, which the record's decoder catches and returns as its `DecodingError`;
// a missing or null optional key gives nothing.
struct JsonFieldError {
    DecodingError error;
};

using Json = nlohmann::json;

// Parses bytes as JSON without throwing; nothing when they are not JSON, nest more than 512 levels
// deep or hold more than `maxValues` values (objects, arrays and what they hold, each counted once).
std::optional<Json> parseJson(std::string_view bytes, size_t maxValues = SIZE_MAX);
// More values than any record of the library or analysis of the backend holds: a batch of two
// hundred thousand photographs lists that many ids.
inline constexpr size_t largestRecordValues = 250'000;
// The same, keeping the order of each object's keys (a schema's properties, say).
std::optional<nlohmann::ordered_json> parseOrderedJson(std::string_view bytes);

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
} // namespace oxel
