// The real application on a real X server (run under xvfb-run): signed out at first, it signs in
// through the local backend's development Google page, the callback coming back through a second
// start of the real program; then later starts hand photographs over, one of them waiting until a
// new batch lets its file go, and a stray link changes nothing. The X screen is saved at each step.
#include "app/AppMenuBar.h"
#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "develop/PictureFiles.h"
#include "localbackend/LocalBackend.h"
#include "model/AppModel.h"
#include "platform/BuildInfo.h"
#include "platform/InstanceChannel.h"
#include "ui/InkBoxLabel.h"
#include "ui/RootView.h"
#include "ui/SignInView.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace oxel {
namespace {

namespace fs = std::filesystem;

// The menu's line with this title, as the menu shows it now.
QAction* entry(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->text() == title) return action;
    return nullptr;
}

bool waitFor(const std::function<bool()>& done, int milliseconds = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string textOf(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A later start of the real program, run while the application's own loop goes on.
struct LaterStart {
    QProcess process;

    explicit LaterStart(const QStringList& arguments)
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(OXEL_PROGRAM), arguments);
    }
    bool ended(int milliseconds = 20000)
    {
        return waitFor([this] { return process.state() == QProcess::NotRunning; }, milliseconds);
    }
    bool endedWell(int milliseconds = 20000)
    {
        return ended(milliseconds) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
};

class RoadEndToEnd : public ::testing::Test {
protected:
    RoadEndToEnd()
    {
        fs::create_directories(home / "runtime");
        fs::permissions(home / "runtime", fs::perms::owner_all);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-e2e-bus", 1);
        // The scripted browser stands first on the path, as xdg-open.
        const std::string path = std::string(OXEL_E2E_DIR) + ":" + std::getenv("PATH");
        ::setenv("PATH", path.c_str(), 1);
        ::setenv("OXEL_E2E_PROGRAM", OXEL_PROGRAM, 1);
        ::setenv("OXEL_E2E_LOG", browserLog.c_str(), 1);
        local::LocalBackend::Options options;
        options.instant = true;
        backend = std::make_unique<local::LocalBackend>(options);
        if (!backend->start()) std::abort();
        ::setenv("OXEL_BACKEND_URL", backend->baseURL().c_str(), 1);
        fs::create_directories(shots);
    }
    ~RoadEndToEnd() override
    {
        backend->stop();
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }

    // The development build's sign-in, at the local backend's pages.
    BuildInfo developmentSignIn() const
    {
        const std::string base = backend->baseURL();
        const BuildInfo& built = BuildInfo::main();
        return BuildInfo({{"CFBundleShortVersionString", built.string("CFBundleShortVersionString").value_or("")},
                          {"CFBundleVersion", built.string("CFBundleVersion").value_or("")},
                          {"GoogleOAuthClientID", "dev-client.apps"},
                          {"GoogleOAuthServerClientID", "dev-server.apps"},
                          {"GoogleOAuthURLScheme", "oxel"},
                          {"GoogleAuthBaseURL", base},
                          {"GoogleTokenBaseURL", base}});
    }

    void screenshot(const std::string& name)
    {
        QCoreApplication::processEvents();
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QString::fromStdString((shots / (name + ".png")).string()));
    }

    fs::path picture(const std::string& name)
    {
        const fs::path file = home / "pictures" / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string([] {
            auto bytes = test::encodeJPEG(600, 400, test::gradientOf(600, 400));
            return std::string(bytes.begin(), bytes.end());
        }());
        return file;
    }

    static fs::path privateFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "oxel-e2e-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return pattern;
    }

    const fs::path home = privateFolder();
    const fs::path browserLog = home / "browser.log";
    const fs::path shots = fs::path(OXEL_SCREENSHOT_DIR) / "e2e";
    std::unique_ptr<local::LocalBackend> backend;
};

TEST_F(RoadEndToEnd, SignsInThroughTheBrowserThenTakesHandoffsFromLaterStarts)
{
    auto forwarded = std::make_shared<ForwardedStarts>();
    InstanceChannel::Claim claim =
        InstanceChannel::claim(InstanceChannel::standardPath(), {},
                               [forwarded](std::vector<std::string> arguments, InstanceChannel::Hold hold) {
                                   forwarded->receive(std::move(arguments), std::move(hold));
                               });
    ASSERT_TRUE(claim.channel) << claim.error;

    const BuildInfo signIn = developmentSignIn();
    Application::Environment environment = Application::Environment::standard();
    environment.auth.buildInfo = &signIn;
    int argc = 1;
    char name[] = "oxel-pro";
    char* argv[] = {name, nullptr};
    Application application(argc, argv, {}, std::move(claim.channel), forwarded, environment);
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    application.showWindow();
    RootView& root = application.rootView();

    // Signed out: the sign-in screen with the Google button.
    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::signIn && root.isVisible(); }));
    auto* screen = qobject_cast<SignInView*>(root.screenWidget());
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(screen->googleButton(), nullptr);
    screenshot("01-sign-in");

    // The browser follows the page and hands the callback to a second start of the program.
    QTest::mouseClick(screen->googleButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::main; }, 40000)) << textOf(browserLog);
    EXPECT_EQ(application.model().auth().state().which(), AuthState::Case::signedIn);
    EXPECT_NE(textOf(browserLog).find("callback oxel:/oauthredirect?"), std::string::npos) << textOf(browserLog);
    screenshot("02-signed-in");

    // A hand-off from a later start, named by its host.
    LaterStart handed({QStringLiteral("--handoff=shotwell"), QString::fromStdString(picture("handed.jpg").string())});
    ASSERT_TRUE(handed.endedWell());
    AppModel& model = application.model();
    ASSERT_TRUE(waitFor([&] { return model.items().size() == 1; }));
    EXPECT_EQ(model.items()[0]->origin, Origin::handoff);
    EXPECT_EQ(model.lastBatchSource(), "from shotwell");
    screenshot("03-handed-over");
    // The menus follow: one photograph to develop for a signed-in account, no batch stored yet.
    QMenu* batchMenu = application.menuBar().batchMenu();
    ASSERT_TRUE(entry(batchMenu, "process"));
    EXPECT_TRUE(entry(batchMenu, "process")->isEnabled());
    EXPECT_FALSE(entry(batchMenu, "export…")->isEnabled());
    EXPECT_FALSE(entry(batchMenu, "rename this batch…")->isEnabled());

    // A start that waits is let go when a new batch leaves its file behind.
    LaterStart waiting({QStringLiteral("--handoff=darktable"), QStringLiteral("--wait"),
                        QString::fromStdString(picture("waiting.jpg").string())});
    ASSERT_TRUE(waitFor([&] { return model.items().size() == 2; }));
    EXPECT_FALSE(waiting.ended(500)) << "the waiting start ended before its file was let go";
    EXPECT_EQ(application.waitingStarts(), 1u);
    entry(application.menuBar().fileMenu(), "new batch")->trigger();
    EXPECT_TRUE(model.items().empty());
    ASSERT_TRUE(waitFor([&] { return !entry(batchMenu, "process")->isEnabled(); }));
    ASSERT_TRUE(waiting.endedWell(5000));
    screenshot("04-new-batch");

    // A stray link reaches no sign-in and leaves the account as it was.
    LaterStart stray({QStringLiteral("oxel://nothing-waits")});
    ASSERT_TRUE(stray.endedWell());
    EXPECT_EQ(model.auth().state().which(), AuthState::Case::signedIn);

    application.quitWithoutAsking();
}

TEST_F(RoadEndToEnd, TerminationWritesUnsavedChangesBeforeTheLoopEnds)
{
    int argc = 1;
    char name[] = "oxel-pro";
    char* argv[] = {name, nullptr};
    Application application(argc, argv, {}, nullptr, nullptr);
    application.showWindow();
    AppModel& model = application.model();
    model.addDropped({picture("kept.jpg")});
    ASSERT_TRUE(waitFor([&] { return model.items().size() == 1 && model.tasks().runningCount() == 0; }));
    model.ensureBatchStored();
    model.saveNow();
    const auto item = model.items().front();
    const fs::path record = model.library().imageFolder(model.batch()->id, item->id) / "image.json";
    ASSERT_TRUE(waitFor([&] { return fs::exists(record); }));

    // An edit whose save still waits for its pause when the signal comes.
    item->setNudge("warmer light on the left", model.globalNudge());
    model.markDirty(*item);
    QTimer::singleShot(0, [] { ::raise(SIGTERM); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_NE(textOf(record).find("warmer light on the left"), std::string::npos) << textOf(record);
}

} // namespace
} // namespace oxel
