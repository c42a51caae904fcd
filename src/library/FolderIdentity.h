#pragma once

#include <optional>
#include <sys/types.h>

namespace oxel {

// Which folder on which file system: the same whatever the folder is called now, and different for
// a copy put in its place.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    // The folder open as `descriptor`; nothing when it cannot be read.
    static std::optional<FolderIdentity> of(int descriptor);

    bool operator==(const FolderIdentity&) const = default;
};

} // namespace oxel
