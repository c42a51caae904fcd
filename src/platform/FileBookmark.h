#pragma once

#include "platform/Volumes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// Bytes that find a file again after it was renamed in its folder or its medium was mounted at
// another place: the path, the mount holding it and the path below that, the file system's id,
// the volume name, the inode, size and modification time. Resolving never asks anyone anything
// and never mounts anything.
class FileBookmark {
public:
    struct Resolved {
        std::filesystem::path file;
        bool stale = false; // found somewhere other than the recorded path: make a new bookmark
    };

    // Nothing when the file cannot be examined.
    static std::optional<std::vector<uint8_t>> make(const std::filesystem::path& file, const Volumes& volumes);

    // Tries the recorded path, the same path below every other mount of the recorded file system
    // (or, failing that, of the recorded volume name), then scans the recorded folder there for
    // the file: same inode on the same file system, or same size and modification time (FAT and
    // exFAT renumber inodes at every mount). Nothing when the bytes do not decode or no candidate
    // is the file; a file moved into another folder is not found.
    static std::optional<Resolved> resolve(std::span<const uint8_t> bytes, const Volumes& volumes);
};

} // namespace oxel
