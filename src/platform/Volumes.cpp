#include "platform/Volumes.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace oxel {

namespace {

// mountinfo writes a space, tab, newline and backslash in a path as a backslash and three octal
// digits.
std::string unescapeMountPath(std::string_view text)
{
    std::string path;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.size() - i >= 4) {
            const std::string_view digits = text.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string_view::npos) {
                path += char((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        path += text[i];
    }
    return path;
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the device is the third
// field, the mount point the fifth.
std::optional<Volumes::Mount> parseMountLine(const std::string& line)
{
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    if (!(fields >> id >> parent >> device >> root >> point)) return std::nullopt;
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream numbers(device);
    if (!(numbers >> major >> colon >> minor) || colon != ':') return std::nullopt;
    return Volumes::Mount{unescapeMountPath(point), uint64_t(makedev(major, minor)), std::nullopt};
}

bool isAbove(const std::filesystem::path& folder, const std::filesystem::path& file)
{
    auto f = file.begin();
    for (auto part = folder.begin(); part != folder.end(); ++part, ++f) {
        if (part->empty()) continue; // a trailing separator
        if (f == file.end() || *part != *f) return false;
    }
    return true;
}

std::optional<Volumes::Mount> deepestAbove(const std::vector<Volumes::Mount>& mounts, const std::filesystem::path& file,
                                           std::optional<uint64_t> device)
{
    const Volumes::Mount* best = nullptr;
    for (const auto& mount : mounts) {
        if (device && mount.device != *device) continue;
        if (!isAbove(mount.point, file)) continue;
        if (!best || mount.point.native().size() > best->point.native().size()) best = &mount;
    }
    if (best) return *best;
    return std::nullopt;
}

} // namespace

Volumes Volumes::current()
{
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return fromMountInfo(text.str());
}

Volumes Volumes::fromMountInfo(std::string_view text)
{
    std::vector<Mount> mounts;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);)
        if (auto mount = parseMountLine(line)) mounts.push_back(std::move(*mount));
    return Volumes(std::move(mounts));
}

std::optional<Volumes::Mount> Volumes::mountOf(const std::filesystem::path& file) const
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return std::nullopt;
    const auto absolute = std::filesystem::absolute(file).lexically_normal();
    if (auto mount = deepestAbove(mounts_, absolute, uint64_t(status.st_dev))) return mount;
    for (const auto& mount : mounts_)
        if (mount.device == uint64_t(status.st_dev)) return mount;
    // Some file systems (btrfs subvolumes) report device numbers of their own.
    return deepestAbove(mounts_, absolute, std::nullopt);
}

std::optional<std::string> Volumes::volumeName(const std::filesystem::path& file) const
{
    const auto mount = mountOf(file);
    if (!mount) return std::nullopt;
    return volumeNameOfMountPoint(mount->point);
}

bool Volumes::isVolumeMounted(std::string_view name) const
{
    for (const auto& mount : mounts_)
        if (volumeNameOfMountPoint(mount.point) == name) return true;
    return false;
}

std::optional<std::string> Volumes::volumeNameOfMountPoint(const std::filesystem::path& point)
{
    std::vector<std::string> parts;
    for (const auto& part : point.lexically_normal())
        if (!part.empty() && part != "/") parts.push_back(part.string());
    const bool media = parts.size() >= 2 && (parts[0] == "media" || parts[0] == "mnt");
    const bool runMedia = parts.size() >= 4 && parts[0] == "run" && parts[1] == "media";
    if (!media && !runMedia) return std::nullopt;
    return parts.back();
}

std::optional<uint64_t> Volumes::fileSystemId(const std::filesystem::path& path)
{
    struct statfs status {};
    if (::statfs(path.c_str(), &status) != 0) return std::nullopt;
    int parts[2];
    static_assert(sizeof(parts) == sizeof(status.f_fsid));
    std::memcpy(parts, &status.f_fsid, sizeof(parts));
    return uint64_t(uint32_t(parts[0])) << 32 | uint32_t(parts[1]);
}

uint64_t Volumes::fileSystemIdOf(const Mount& mount)
{
    if (mount.fsid) return *mount.fsid;
    return fileSystemId(mount.point).value_or(0);
}

} // namespace oxel
