#pragma once

#include "library/InternetDate.h"
#include "platform/JsonFields.h"

#include <string>

namespace oxel {

// One export of an image: the file written, its format ("psd", "tiff", "jpeg", "png" or "heic")
// and when it was written.
struct ExportRecord {
    std::string to;
    std::string format;
    Date at;

    bool operator==(const ExportRecord&) const = default;

    // Read and write "to", "format" and "at"; a failure throws `JsonFieldError`.
    static ExportRecord read(const Json& object);
    Json json() const;
};

} // namespace oxel
