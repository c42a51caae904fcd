#pragma once

#include "support/TemporaryFolder.h"

#include <cstdlib>
#include <filesystem>

namespace oxel::testing {

// One temporary data home for the whole test program, with the desktop Trash inside it. GLib
// reads XDG_DATA_HOME once and keeps it, so this is set while the program starts, before any
// GLib call; every test makes its folders under `root()`, on the Trash's own file system.
class TrashHome {
public:
    static const TrashHome& instance()
    {
        static const TrashHome home;
        return home;
    }

    std::filesystem::path root() const { return folder_ / "work"; }
    std::filesystem::path dataHome() const { return folder_ / "data"; }
    std::filesystem::path trashFiles() const { return folder_ / "data" / "Trash" / "files"; }
    std::filesystem::path trashInfo() const { return folder_ / "data" / "Trash" / "info"; }

private:
    TrashHome()
    {
        std::filesystem::create_directories(dataHome());
        std::filesystem::create_directories(root());
        ::setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
    }

    TemporaryFolder folder_;
};

// Sets the data home during static initialisation of the test program.
inline const TrashHome& trashHomeAtStart = TrashHome::instance();

} // namespace oxel::testing
