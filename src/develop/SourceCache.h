#pragma once

#include "develop/codecs/FileBytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace oxel {

// What identifies one version of a file's content: a file whose stamp changed may hold other
// pixels, and is read again (or refused) rather than trusted.
struct FileState {
    uintmax_t size = 0;
    int64_t modifiedNanoseconds = 0;
    uint64_t inode = 0;
    uint64_t device = 0;

    static std::optional<FileState> of(const std::filesystem::path& file);
    bool operator==(const FileState&) const = default;
};

// The whole file mapped read-only, but only while its stamp is `expected` (checked before and
// after mapping, so a file changed in between is refused as well). Pages are read as decoders touch
// them: a file far larger than its picture costs the memory of the picture.
std::optional<FileBytes> readStampedFile(const std::filesystem::path& file, const FileState& expected);

} // namespace oxel
