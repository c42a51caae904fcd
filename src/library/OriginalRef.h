#pragma once

#include "develop/SourceImage.h"
#include "develop/codecs/Metadata.h"
#include "library/FileStamp.h"
#include "library/InternetDate.h"
#include "platform/JsonFields.h"
#include "platform/Volumes.h"

#include <filesystem>

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
    // A handed-over original that the photographer located elsewhere: the file now referred to
    // is not the one the host handed over, and is never written over.
    bool relinked = false;
    std::optional<std::string> sender;
    std::optional<std::vector<uint8_t>> metadata; // hand-off originals only

    bool operator==(const OriginalRef&) const = default;

    // Where the original is now, and a fresh bookmark when the stored one found it elsewhere.
    struct Resolution {
        std::filesystem::path file;
        std::optional<std::vector<uint8_t>> renewedBookmark;
    };

    // The reference to an original at `file`, loaded as `source`; `sender` names the host
    // application that handed it over. Whatever cannot be read of the file stays absent.
    static OriginalRef make(const std::filesystem::path& file, const SourceImage& source, bool handoff,
                            std::optional<std::string> sender, const Volumes& volumes = Volumes::current());

    // The bookmark first (renewed when it found the file elsewhere), then the stored path;
    // nothing when neither leads to a file.
    std::optional<Resolution> resolve(const Volumes& volumes = Volumes::current()) const;

    // The metadata kept for a hand-off original; nothing when none was kept or it is damaged.
    std::optional<Metadata> properties() const;

    // Read and write the record's keys; a failure throws `JsonFieldError`.
    static OriginalRef read(const Json& object);
    Json json() const;
};

} // namespace oxel
