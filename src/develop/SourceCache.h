#pragma once

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

// The whole file, but only while its stamp is `expected` (checked before and after reading, so a
// file changed in between is refused as well).
std::optional<std::vector<uint8_t>> readStampedFile(const std::filesystem::path& file, const FileState& expected);

} // namespace oxel
