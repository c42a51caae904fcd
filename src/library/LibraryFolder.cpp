#include "library/LibraryFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace fs = std::filesystem;

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

} // namespace

LibraryFolder LibraryFolder::failed(const std::string& name, int error)
{
    // A link opened without following it fails with ELOOP, or ENOTDIR on some file systems.
    const bool notAFolder = error == ELOOP || error == ENOTDIR;
    return {-1,
            name + ": " + (notAFolder ? "a link or a file stands where the folder should be" : std::strerror(error))};
}

void LibraryFolder::makeRoot(const fs::path& root)
{
    std::error_code ignored;
    fs::create_directories(root.parent_path(), ignored);
    ::mkdir(root.c_str(), folderPermissions);
    struct stat status {};
    if (::stat(root.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & 077) != 0)
        ::chmod(root.c_str(), folderPermissions);
}

LibraryFolder LibraryFolder::openRoot(const fs::path& root, bool make, const std::optional<FolderIdentity>& locked)
{
    LibraryFolder folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), {});
    // The root this program locked is never made again: a new one in its place would be another's.
    if (!folder.isOpen() && make && !locked && errno == ENOENT) {
        makeRoot(root);
        folder = LibraryFolder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), {});
    }
    const int error = errno;
    if (locked && (folder.isOpen() ? FolderIdentity::of(folder.fd_) != locked : error == ENOENT || error == ENOTDIR)) {
        LibraryFolder replaced(-1, root.string() + ": the library folder was moved or replaced");
        replaced.replaced_ = true;
        return replaced;
    }
    if (!folder.isOpen()) return failed(root.string(), error);
    return folder;
}

LibraryFolder LibraryFolder::open(const fs::path& root, const fs::path& relative, bool make,
                                  const std::optional<FolderIdentity>& locked)
{
    auto folder = openRoot(root, make, locked);
    if (!folder.isOpen()) return folder;
    for (const auto& component : relative) {
        const std::string name = component.string();
        if (name.empty() || name == ".") continue;
        if (name == "..") return failed(name, EPERM);
        if (make && ::mkdirat(folder.fd_, name.c_str(), folderPermissions) != 0 && errno != EEXIST)
            return failed(name, errno);
        folder = folder.child(name);
        if (!folder.isOpen()) return folder;
    }
    return folder;
}

LibraryFolder LibraryFolder::child(const std::string& name) const
{
    const int fd = ::openat(fd_, name.c_str(), folderFlags);
    if (fd < 0) return failed(name, errno);
    return {fd, {}};
}

LibraryFolder& LibraryFolder::operator=(LibraryFolder&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        failure_ = std::move(other.failure_);
        replaced_ = other.replaced_;
    }
    return *this;
}

LibraryFolder::~LibraryFolder()
{
    if (fd_ >= 0) ::close(fd_);
}

} // namespace oxel
