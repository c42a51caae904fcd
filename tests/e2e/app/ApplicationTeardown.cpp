// The real application object going away while work its model handed to the work pool still
// runs: that work reads the library and posts back to the main executor when it ends, so both
// must outlast it.
#include "app/Application.h"
#include "async/Offload.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace oxel {
namespace {

Task<void> runOnPool(std::function<void()> work)
{
    co_await offload(WorkPriority::utility, std::move(work));
}

TEST(ApplicationTeardown, WaitsForTheModelsWorkOnThePoolBeforeItsLibraryAndExecutorGo)
{
    testing::TemporaryFolder home;
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-e2e-bus", 1);
    int argc = 1;
    char name[] = "oxel-pro";
    char* argv[] = {name, nullptr};

    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    {
        Application application(argc, argv, {}, nullptr, nullptr);
        LibraryStore& library = application.model().library();
        // As the model's own list of recent batches does: the library is read on the pool.
        auto slowRead = [&] {
            started = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            (void)library.list();
            finished = true;
        };
        application.model().tasks().spawn(runOnPool(slowRead));
        QElapsedTimer clock;
        clock.start();
        while (!started && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(started);
    }
    EXPECT_TRUE(finished) << "the application went while its work on the pool still ran";
}

} // namespace
} // namespace oxel
