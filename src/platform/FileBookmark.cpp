#include "platform/FileBookmark.h"

#include "platform/ExactText.h"

#include <cinttypes>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

// What the bookmark recorded of the file.
struct Recorded {
    fs::path path;
    std::optional<fs::path> mount;
    std::optional<fs::path> relative;
    uint64_t fsid = 0;
    std::optional<std::string> volume;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modified = 0; // nanoseconds since the epoch
};

int64_t modifiedNanoseconds(const struct stat& status)
{
    return int64_t(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
}

std::string hex16(uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

std::optional<uint64_t> parseHex16(const std::string& text)
{
    if (text.size() != 16 || text.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
    return std::stoull(text, nullptr, 16);
}

std::optional<Recorded> decode(std::span<const uint8_t> bytes)
{
    const auto json = parseJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!json || !json->is_object()) return std::nullopt;
    try {
        if (requiredInteger(*json, "v") != 1) return std::nullopt;
        Recorded recorded;
        const auto path = optionalExactText(*json, "path");
        if (!path) return std::nullopt;
        recorded.path = *path;
        if (auto mount = optionalExactText(*json, "mount")) recorded.mount = *mount;
        if (auto relative = optionalExactText(*json, "relative")) recorded.relative = *relative;
        const auto fsid = parseHex16(requiredText(*json, "fsid"));
        if (!fsid || !recorded.path.is_absolute()) return std::nullopt;
        recorded.fsid = *fsid;
        recorded.volume = optionalExactText(*json, "volume");
        recorded.inode = uint64_t(requiredInteger(*json, "inode"));
        recorded.size = requiredInteger(*json, "size");
        recorded.modified = requiredInteger(*json, "modified");
        if (recorded.relative && recorded.relative->is_absolute()) return std::nullopt;
        return recorded;
    } catch (const JsonFieldError&) {
        return std::nullopt;
    }
}

// Whether a regular file's status is the recorded file's; `fsid` is that of its file system.
bool isRecordedFile(const Recorded& recorded, const struct stat& status, std::optional<uint64_t> fsid)
{
    if (!S_ISREG(status.st_mode)) return false;
    if (uint64_t(status.st_ino) == recorded.inode && fsid == recorded.fsid) return true;
    return int64_t(status.st_size) == recorded.size && modifiedNanoseconds(status) == recorded.modified;
}

bool isRecordedFile(const Recorded& recorded, const fs::path& candidate)
{
    struct stat status {};
    if (::stat(candidate.c_str(), &status) != 0) return false;
    return isRecordedFile(recorded, status, Volumes::fileSystemId(candidate));
}

// The mount points other than the recorded one where the recorded file system is now: those with
// its id, else those with its volume name.
std::vector<fs::path> otherMountsOfRecorded(const Recorded& recorded, const Volumes& volumes)
{
    std::vector<fs::path> sameId, sameName;
    for (const auto& mount : volumes.mounts()) {
        if (recorded.mount && mount.point == *recorded.mount) continue;
        if (Volumes::fileSystemIdOf(mount) == recorded.fsid)
            sameId.push_back(mount.point);
        else if (recorded.volume && Volumes::volumeNameOfMountPoint(mount.point) == recorded.volume)
            sameName.push_back(mount.point);
    }
    return sameId.empty() ? sameName : sameId;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// A scan of one folder: entries whose inode the folder listing already gives are checked first,
// so a renamed file on a file system with stable inodes costs no stat of the others.
std::optional<fs::path> scanFolder(const Recorded& recorded, const fs::path& folder)
{
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory) return std::nullopt;
    const int fd = ::dirfd(directory.get());
    const auto fsid = Volumes::fileSystemId(folder);
    std::vector<std::string> others;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
        if (uint64_t(entry->d_ino) != recorded.inode) {
            others.push_back(name);
            continue;
        }
        struct stat status {};
        if (::fstatat(fd, name.c_str(), &status, 0) == 0 && isRecordedFile(recorded, status, fsid))
            return folder / name;
    }
    for (const auto& name : others) {
        struct stat status {};
        if (::fstatat(fd, name.c_str(), &status, 0) == 0 && isRecordedFile(recorded, status, fsid))
            return folder / name;
    }
    return std::nullopt;
}

std::optional<fs::path> findElsewhere(const Recorded& recorded, const Volumes& volumes)
{
    const auto mounts = recorded.relative ? otherMountsOfRecorded(recorded, volumes) : std::vector<fs::path>{};
    for (const auto& mount : mounts)
        if (isRecordedFile(recorded, mount / *recorded.relative)) return mount / *recorded.relative;
    if (auto found = scanFolder(recorded, recorded.path.parent_path())) return found;
    for (const auto& mount : mounts)
        if (auto found = scanFolder(recorded, (mount / *recorded.relative).parent_path())) return found;
    return std::nullopt;
}

} // namespace

std::optional<std::vector<uint8_t>> FileBookmark::make(const fs::path& file, const Volumes& volumes)
{
    struct stat status {};
    if (file.empty() || ::stat(file.c_str(), &status) != 0) return std::nullopt;
    const auto fsid = Volumes::fileSystemId(file);
    if (!fsid) return std::nullopt;
    const fs::path path = fs::absolute(file).lexically_normal();
    // Names that are not UTF-8 keep their exact bytes beside their readable form.
    Json json = {{"v", 1},
                 {"fsid", hex16(*fsid)},
                 {"inode", int64_t(status.st_ino)},
                 {"size", int64_t(status.st_size)},
                 {"modified", modifiedNanoseconds(status)}};
    putExactText(json, "path", path.string());
    if (const auto mount = volumes.mountOf(path)) {
        putExactText(json, "mount", mount->point.string());
        putExactText(json, "relative", path.lexically_relative(mount->point).string());
        if (auto volume = Volumes::volumeNameOfMountPoint(mount->point)) putExactText(json, "volume", *volume);
    }
    const std::string text = json.dump(-1, ' ', false, Json::error_handler_t::replace);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<FileBookmark::Resolved> FileBookmark::resolve(std::span<const uint8_t> bytes, const Volumes& volumes)
{
    const auto recorded = decode(bytes);
    if (!recorded) return std::nullopt;
    if (isRecordedFile(*recorded, recorded->path)) return Resolved{recorded->path, false};
    if (auto found = findElsewhere(*recorded, volumes)) return Resolved{*found, true};
    return std::nullopt;
}

} // namespace oxel
