#pragma once

#include "library/FolderIdentity.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace oxel {

// A folder of the library held open by descriptor. It is reached from the root's own descriptor
// one component at a time without following a symbolic link, so nothing planted inside the
// library leads a write, a listing or a removal outside it. The root itself may be a link: the
// photographer may keep the library elsewhere.
class LibraryFolder {
public:
    // Folders the library makes are its owner's alone.
    static constexpr unsigned folderPermissions = 0700;

    // Makes the root when missing, its owner's alone, and takes from an existing root of the owner's
    // what others may do (a library of an earlier version was open to everyone).
    static void makeRoot(const std::filesystem::path& root);
    // The folder `relative` below `root`; with `make`, missing folders on the way are made, the
    // root too. With `locked`, the folder this program locked as its library, only that very folder
    // is opened as the root and it is never made again: a root moved away, replaced or reached
    // through a link pointed elsewhere since is another's to write (`replaced()`).
    static LibraryFolder open(const std::filesystem::path& root, const std::filesystem::path& relative, bool make,
                              const std::optional<FolderIdentity>& locked = std::nullopt);
    // A folder directly inside an open one, not followed when it is a link.
    LibraryFolder child(const std::string& name) const;

    LibraryFolder(LibraryFolder&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), failure_(std::move(other.failure_)), replaced_(other.replaced_)
    {}
    LibraryFolder& operator=(LibraryFolder&& other) noexcept;
    ~LibraryFolder();

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // Why it is not open: the folder's name and the reason, as one phrase.
    const std::string& failure() const { return failure_; }
    // The root's path no longer names the folder this program locked.
    bool replaced() const { return replaced_; }

private:
    LibraryFolder(int fd, std::string failure) : fd_(fd), failure_(std::move(failure)) {}
    static LibraryFolder failed(const std::string& name, int error);
    static LibraryFolder openRoot(const std::filesystem::path& root, bool make,
                                  const std::optional<FolderIdentity>& locked);

    int fd_ = -1;
    std::string failure_;
    bool replaced_ = false;
};

} // namespace oxel
