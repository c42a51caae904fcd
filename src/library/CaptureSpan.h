#pragma once

#include "library/InternetDate.h"
#include "platform/JsonFields.h"

#include <optional>
#include <vector>

namespace oxel {

// The earliest and latest capture dates among a batch's images.
struct CaptureSpan {
    Date from;
    Date to;

    bool operator==(const CaptureSpan&) const = default;

    // Read and write "from" and "to"; a failure throws `JsonFieldError`.
    static CaptureSpan read(const Json& object);
    Json json() const;

    // The earliest and latest of the dates; nothing for none.
    static std::optional<CaptureSpan> of(const std::vector<Date>& dates);
};

} // namespace oxel
