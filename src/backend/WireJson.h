#pragma once

#include "backend/BackendFailure.h"
#include "platform/JsonFields.h"

#include <string>
#include <string_view>

namespace oxel {

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
