// The real application object as it ends: quitting asks about what is still being written, and
// going away waits for the work its model handed to the work pool, which reads the library and
// posts back to the main executor when it ends, but lets the library go first and does not wait
// for a backend that does not answer.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "async/Offload.h"
#include "backend/BackendBaseURL.h"
#include "library/LibraryLock.h"
#include "library/LibraryStore.h"
#include "localbackend/LocalBackend.h"
#include "model/AppModel.h"
#include "platform/AppFolders.h"
#include "platform/SettingsStore.h"
#include "support/PictureFiles.h"
#include "support/TemporaryFolder.h"
#include "support/ui/SpinUntil.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/BottomBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace oxel {
namespace {

namespace fs = std::filesystem;

bool spinUntil(const std::function<bool()>& done)
{
    return testing::spinUntil(done, 20000);
}

Task<void> runOnPool(std::function<void()> work)
{
    co_await offload(WorkPriority::utility, std::move(work));
}

class ApplicationQuit : public ::testing::Test {
protected:
    ApplicationQuit()
    {
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-e2e-bus", 1);
    }

    // Drops one picture on the batch; true once it is in.
    bool addPicture(AppModel& model)
    {
        const fs::path picture = home / "picture.jpg";
        const auto bytes = test::encodeJPEG(300, 200, test::gradientOf(300, 200));
        std::ofstream(picture, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        model.addDropped({picture});
        // Waits for the picture's own intake, not for every task: a signed-in model with no
        // backend keeps asking for the roll for a while.
        if (!spinUntil([&] { return model.items().size() == 1 && model.items().front()->thumbnail(); })) return false;
        // Kept in the library, so that quitting has no unprocessed picture to ask about.
        model.ensureBatchStored();
        return true;
    }

    testing::TemporaryFolder home;
    int argc = 1;
    char name[9] = "oxel-pro";
    char* argv[2] = {name, nullptr};
};

TEST_F(ApplicationQuit, AsksBeforeLeavingAnExportUnwritten)
{
    Application application(argc, argv, {}, nullptr, nullptr);
    AppModel& model = application.model();
    ASSERT_TRUE(addPicture(model));

    model.startExport(model.items().front(), home / "picture-oxel.psd", ExportOptions{}, false);
    ASSERT_EQ(model.exportsPending(), 1);
    QString asked;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        asked = box->text() + " / " + box->informativeText();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == "keep exporting") button->click();
    });
    answer.start(20);
    application.quit();
    EXPECT_EQ(asked.toStdString(), "1 still exporting / quitting now leaves the file unwritten.");
}

TEST_F(ApplicationQuit, QuittingSaysItIsSavingWhileTheLibraryStillWrites)
{
    SettingsStore::shared().set("userId", "7");
    Application application(argc, argv, {}, nullptr, nullptr);
    application.showWindow();
    AppModel& model = application.model();
    ASSERT_TRUE(addPicture(model));
    // The window builds the screen the picture brought at the end of that turn.
    BottomBar* bar = nullptr;
    ASSERT_TRUE(spinUntil([&] { return (bar = application.window().findChild<BottomBar*>()) != nullptr; }));

    // A thumbnail whose picture takes its time to make again.
    const Bitmap pixels = *model.items().front()->thumbnail()->bitmap();
    const PictureHandle slow(PictureRecipe{pixels.width(), pixels.height(), [pixels]() -> std::optional<Bitmap> {
                                               std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                               return pixels;
                                           }});
    const fs::path thumb = model.library().root() / "slow.jpg";
    model.library().writeJPEGs({{slow, thumb}}, 64, 0.8);
    application.quit();
    EXPECT_TRUE(fs::exists(thumb)) << "the quit went before the library's writes";
    EXPECT_EQ(bar->statusLabel()->text().toStdString(), BottomBar::savingStatus);
}

TEST_F(ApplicationQuit, GoingAwayWaitsForTheModelsWorkOnThePoolBeforeItsLibraryAndExecutorGo)
{
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
        ASSERT_TRUE(spinUntil([&] { return started.load(); }));
    }
    EXPECT_TRUE(finished) << "the application went while its work on the pool still ran";
}

TEST_F(ApplicationQuit, GoingAwayLetsTheLibraryGoAndEndsWhileTheBackendDoesNotAnswer)
{
    // Confirmations are taken and answered only after the program should have ended.
    local::LocalBackend backend({});
    ASSERT_TRUE(backend.start());
    backend.setFaults({"/jobs/", std::chrono::seconds(8)});
    overrideBackendBaseURL(backend.baseURL());
    SettingsStore::shared().set("userId", "7");
    Application::Environment environment = Application::Environment::standard();
    const fs::path root = LibraryStore::standardRoot(bundleIdentifier());
    environment.libraryLock = LibraryLock::take(root, std::nullopt).lock;
    auto application = std::make_unique<Application>(argc, argv, LaunchArguments{}, nullptr, nullptr, environment);
    environment.libraryLock.reset();
    application->model().runner().accountArrived("7");
    application->model().runner().confirmDelivery("job-1", "7");
    QCoreApplication::processEvents();

    const auto quitAt = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration letGoAfter;
    std::thread nextStart([&] {
        while (!LibraryLock::take(root, std::nullopt).lock) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        letGoAfter = std::chrono::steady_clock::now() - quitAt;
    });
    application.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - quitAt, std::chrono::seconds(2));
    nextStart.join();
    EXPECT_LT(letGoAfter, std::chrono::milliseconds(500)) << "the library was let go late";
}

} // namespace
} // namespace oxel
