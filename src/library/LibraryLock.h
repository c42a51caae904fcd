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
        // The program that holds the library took the start's arguments (`takeOrHandOver`).
        bool handedOver = false;
        // Why the library could not be locked otherwise: this program must not write it.
        std::string error;
    };

    // Only the holder's channel: the lock is the folder's.
    static constexpr const char* fileName = ".lock";
    // How long a start waits for a holder that takes no arguments, as one that is closing does.
    static constexpr std::chrono::milliseconds closingPatience{10000};

    // Locks the library at `root` (made when missing) and records `channel` as its holder's.
    static Taken take(const std::filesystem::path& root, const std::optional<std::filesystem::path>& channel);
    // The channel the holder of the library at `root` named; nothing when it named none (yet).
    static std::optional<std::filesystem::path> holderChannel(const std::filesystem::path& root);
    // What a start does: takes the library at `root` for `channel`, or hands its arguments through
    // `handOff` to the channel its holder named. A holder that takes none (one that is closing has
    // stopped listening; one that just started names its channel only after it took the lock) is
    // waited for until it lets go, for at most `patience`; `heldElsewhere` then refuses the start.
    // The holder's channel is never tried when it is `channel` itself, which a closing holder on
    // the same path left.
    static Taken takeOrHandOver(const std::filesystem::path& root, const std::optional<std::filesystem::path>& channel,
                                const std::function<bool(const std::filesystem::path&)>& handOff,
                                std::chrono::milliseconds patience = closingPatience);

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
