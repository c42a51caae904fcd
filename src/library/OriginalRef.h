#pragma once

#include "library/FileStamp.h"
#include "library/InternetDate.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// Where an image's original lives, as its record keeps it: the path, a bookmark that finds the
// file again after a move, its volume and stamp, what was read from it, and whether a host
// application handed it over.
struct OriginalRef {
    std::string path;
    std::optional<std::vector<uint8_t>> bookmark;
    std::optional<std::string> volume;
    std::optional<FileStamp> stamp;
    std::vector<int64_t> pixels; // width, height
    std::optional<Date> captured;
    std::optional<double> latitude;  // degrees, south negative
    std::optional<double> longitude; // degrees, west negative
    bool handoff = false;
    std::optional<std::string> sender;
    std::optional<std::vector<uint8_t>> metadata; // hand-off originals only

    bool operator==(const OriginalRef&) const = default;

    // Read and write the record's keys; a failure throws `JsonFieldError`.
    static OriginalRef read(const Json& object);
    Json json() const;
};

} // namespace oxel
