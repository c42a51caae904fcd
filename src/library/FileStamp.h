#pragma once

#include "develop/SourceCache.h"
#include "library/InternetDate.h"
#include "platform/JsonFields.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace oxel {

// A file's size and content modification date as a record keeps them. Read back from JSON, the
// date has lost its fraction of a second, so comparing with a fresh stamp must allow for that.
struct FileStamp {
    int64_t size = 0;
    Date modified;

    bool operator==(const FileStamp&) const = default;

    // The size and modification time of a file as the develop engine found it.
    static FileStamp of(const FileState& state);
    // The stamp of a regular file; nothing when it cannot be examined.
    static std::optional<FileStamp> of(const std::filesystem::path& file);

    // The same size, and modification dates less than a second apart: a stamp read back from a
    // record agrees with a fresh one of the unchanged file.
    bool agreesWith(const FileStamp& other) const;

    // Read and write "size" and "modified"; a failure throws `JsonFieldError`.
    static FileStamp read(const Json& object);
    Json json() const;
};

} // namespace oxel
