#pragma once

#include "async/ManualLoop.h"
#include "localbackend/LocalBackend.h"
#include "support/TemporaryFolder.h"
#include "support/TrashHome.h"

#include <cstdlib>

namespace oxel::testing {

// The user folders of this test program live in a folder of their own, and the account record
// never reaches the user's own secret store.
inline void isolateUserFolders()
{
    static TemporaryFolder home;
    static bool isolated = [] {
        setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        // The data home is the program's one, which GLib has read already if the Trash was used.
        setenv("XDG_DATA_HOME", TrashHome::instance().dataHome().c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-test-bus", 1);
        return true;
    }();
    (void)isolated;
}

// A local backend whose jobs age on the loop's virtual clock, in isolated user folders.
inline local::LocalBackend::Options backendOnClock(ManualLoop& loop)
{
    isolateUserFolders();
    local::LocalBackend::Options options;
    options.clock = [&loop] { return loop.now(); };
    options.keepAliveSeconds = 1;
    return options;
}

} // namespace oxel::testing
