#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// One library, one writer: an exclusive lock on ".lock" in the library's root, held for as long as
// the lock lives. The holder writes the path of its instance channel into the file, so a program
// that finds the library taken can hand its arguments to the one that holds it.
class LibraryLock {
public:
    struct Taken {
        std::unique_ptr<LibraryLock> lock;
        // Another program holds the library: the channel it listens on, when it named one.
        bool heldElsewhere = false;
        std::optional<std::filesystem::path> holderChannel;
        // Why the lock file could not be made or locked at all.
        std::string error;
    };

    static constexpr const char* fileName = ".lock";

    // Locks the library at `root` (made when missing) and records `channel` as its holder's.
    static Taken take(const std::filesystem::path& root, const std::optional<std::filesystem::path>& channel);

    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

private:
    explicit LibraryLock(int descriptor) : descriptor_(descriptor) {}
    int descriptor_;
};

} // namespace oxel
