#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The mounted file systems, as the kernel lists them for this process, and the names by which a
// photographer knows removable media. A table can also be given outright (tests, a remount).
class Volumes {
public:
    struct Mount {
        std::filesystem::path point;
        uint64_t device = 0;          // the device number files on it report
        std::optional<uint64_t> fsid; // the file system's statfs id; read from `point` when absent
        bool operator==(const Mount&) const = default;
    };

    Volumes() = default;
    explicit Volumes(std::vector<Mount> mounts) : mounts_(std::move(mounts)) {}

    // This process's table from /proc/self/mountinfo; empty when it cannot be read.
    static Volumes current();
    // The table of a mountinfo text; lines that do not parse are left out.
    static Volumes fromMountInfo(std::string_view text);

    const std::vector<Mount>& mounts() const { return mounts_; }

    // The mount that holds an existing file: the one with the file's device number (the longest
    // mount point above the file when several share it), else the longest mount point above it.
    std::optional<Mount> mountOf(const std::filesystem::path& file) const;

    // A file's volume name: the last component of its mount point when that lies under /media/,
    // /run/media/<user>/ or /mnt/, where desktops mount removable media by label or id. Nothing for
    // other file systems (root, home) or when the file cannot be found.
    std::optional<std::string> volumeName(const std::filesystem::path& file) const;
    bool isVolumeMounted(std::string_view name) const;

    // The volume name a mount point gives, by the rule above.
    static std::optional<std::string> volumeNameOfMountPoint(const std::filesystem::path& point);
    // The statfs id of the file system holding `path`, as one number.
    static std::optional<uint64_t> fileSystemId(const std::filesystem::path& path);
    static uint64_t fileSystemIdOf(const Mount& mount);

private:
    std::vector<Mount> mounts_;
};

} // namespace oxel
