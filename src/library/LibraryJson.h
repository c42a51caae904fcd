#pragma once

#include "platform/Decoded.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

struct AnalysisResponse;

// The bytes of batch.json and image.json: pretty-printed, keys sorted, "/" written as "\/".
std::string storedRecordBytes(const Json& json);

// The bytes of analysis.json: compact, keys sorted.
std::vector<uint8_t> analysisBytes(const AnalysisResponse& analysis);

// Parses stored bytes, up to `largestRecordValues` values, and reads them as a `Record` with `Record::read`. Every failure comes back
// as a value naming the key that failed; nothing is thrown.
template <class Record>
Decoded<Record> decodeStoredRecord(std::string_view bytes)
{
    auto json = parseJson(bytes, largestRecordValues);
    if (!json) return DecodingError{"", "the data is not valid JSON"};
    if (!json->is_object()) return DecodingError::notAnObject();
    try {
        return Record::read(*json);
    } catch (const JsonFieldError& failure) {
        return failure.error;
    } catch (const Json::exception& failure) {
        return DecodingError{"", failure.what()};
    }
}

// The stored bytes of a record, or why it cannot be written so that it reads back.
template <class Record>
Decoded<std::string> encodeStoredRecord(const Record& record)
{
    try {
        return storedRecordBytes(record.json());
    } catch (const JsonFieldError& failure) {
        return failure.error;
    } catch (const Json::exception& failure) {
        return DecodingError{"", failure.what()};
    }
}

} // namespace oxel
