#pragma once

#include "library/FolderIdentity.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// One library, one writer: an exclusive lock on the library's folder itself, held through its
// descriptor for as long as the lock lives, so no file put in or taken out of the folder lets a
// second program in. The holder writes the path of its instance channel into ".lock", so a
// program that finds the library taken can hand its arguments to the one that holds it.
class LibraryLock {
public:
    struct Taken {
        // Held; or, where the disk has no locks, the folder kept open without one (`unlocked`).
        std::unique_ptr<LibraryLock> lock;
        bool unlocked = false;
        // Another program holds the library.
        bool heldElsewhere = false;
        // Why the library could not be locked otherwise: this program must not write it.
        std::string error;
    };

    // Only the holder's channel: the lock is the folder's.
    static constexpr const char* fileName = ".lock";
    // How long a start waits for the holder to name its channel, which it does just after it took
    // the lock.
    static constexpr std::chrono::milliseconds holderPatience{1000};

    // Locks the library at `root` (made when missing) and records `channel` as its holder's.
    static Taken take(const std::filesystem::path& root, const std::optional<std::filesystem::path>& channel);
    // The channel the holder of the library at `root` named; nothing when it named none (yet).
    static std::optional<std::filesystem::path> holderChannel(const std::filesystem::path& root);
    // Hands over to the holder of the library at `root` through `handOff`, which is given the
    // channel the holder named and says whether it took the arguments; the channel is read again
    // until one takes them or `patience` has passed.
    static bool handOverToHolder(const std::filesystem::path& root,
                                 const std::function<bool(const std::filesystem::path&)>& handOff,
                                 std::chrono::milliseconds patience = holderPatience);

    // The folder locked, whatever its path names now: the library may be written only while its path
    // still names this folder.
    std::optional<FolderIdentity> folder() const { return FolderIdentity::of(descriptor_); }

    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

private:
    explicit LibraryLock(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace oxel
