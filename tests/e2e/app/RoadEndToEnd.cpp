// The real application on a real X server (run under xvfb-run), built as `scripts/run` builds it:
// signed out at first, it signs in through the local backend's development Google page, the
// callback coming back through a second start of the real program; later starts hand photographs
// over, one of them waiting until a new batch lets its file go, and a stray link changes nothing.
// The whole road of a hand-off runs from the photo application's start through developing,
// comparing, exporting and sending back to the application closing itself. The X screen is saved
// at each step.
#include "app/AppMenuBar.h"
#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "app/MainView.h"
#include "app/MainWindow.h"
#include "localbackend/LocalBackend.h"
#include "model/AppModel.h"
#include "platform/InstanceChannel.h"
#include "sheets/ConfirmSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/FolderPanelPort.h"
#include "support/FileContents.h"
#include "support/PictureFiles.h"
#include "support/ui/SpinUntil.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/SheetButton.h"
#include "ui/screens/RootView.h"
#include "ui/screens/SignInView.h"
#include "ui/window/BottomBar.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

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

// The first shown top-level window of this kind, or null.
template <typename Window>
Window* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible()) return window;
    return nullptr;
}

// The sheet button with this label that the sheet shows, or null.
SheetButton* button(QWidget& sheet, const QString& label)
{
    for (auto* button : sheet.findChildren<SheetButton*>())
        if (button->label() == label && button->isVisibleTo(&sheet)) return button;
    return nullptr;
}

// One tag of the file, as exiftool reads it.
QString exiftool(const fs::path& file, const QString& tag)
{
    QProcess reader;
    reader.start(QStringLiteral("exiftool"), {QStringLiteral("-s3"), "-" + tag, QString::fromStdString(file.string())});
    reader.waitForFinished(20000);
    return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
}

bool waitFor(const std::function<bool()>& done, int milliseconds = 20000)
{
    return testing::spinUntil(done, milliseconds);
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
        // The road runs on the X server xvfb-run started, whatever platform the caller's shell names.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
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

    // The real application as the program's first start makes it, built as `scripts/run` builds it:
    // it signs in at the local backend's development pages with nothing more configured.
    std::unique_ptr<Application> startApplication(const LaunchArguments& launch)
    {
        auto forwarded = std::make_shared<ForwardedStarts>();
        InstanceChannel::Claim claim =
            InstanceChannel::claim(InstanceChannel::standardPath(), {},
                                   [forwarded](std::vector<std::string> arguments, InstanceChannel::Hold hold) {
                                       forwarded->receive(std::move(arguments), std::move(hold));
                                   });
        if (!claim.channel) {
            ADD_FAILURE() << claim.error;
            return nullptr;
        }
        return std::make_unique<Application>(argc, argv, launch, std::move(claim.channel), forwarded);
    }

    void screenshot(const std::string& name)
    {
        QCoreApplication::processEvents();
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QString::fromStdString((shots / (name + ".png")).string()));
    }

    fs::path picture(const std::string& name, const test::JPEGOptions& options = {})
    {
        const fs::path file = home / "pictures" / name;
        fs::create_directories(file.parent_path());
        test::writeFile(file, test::encodeJPEG(600, 400, test::gradientOf(600, 400), options));
        return file;
    }

    // A camera's photograph as a photo application hands it over: a wide-gamut profile and a capture date.
    fs::path cameraPicture(const std::string& name)
    {
        test::JPEGOptions options;
        options.icc = test::iccProfile("DisplayP3");
        const fs::path file = picture(name, options);
        test::run("exiftool -q -overwrite_original '-DateTimeOriginal=2024:05:01 10:20:30' '" + file.string() + "'");
        return file;
    }

    // What independent readers see of an exported or sent-back file.
    static void expectKeepsTheOriginal(const fs::path& file)
    {
        EXPECT_EQ(exiftool(file, "FileType"), "JPEG") << file;
        EXPECT_EQ(exiftool(file, "ImageSize"), "600x400") << file;
        EXPECT_EQ(exiftool(file, "DateTimeOriginal"), "2024:05:01 10:20:30") << file;
        EXPECT_TRUE(exiftool(file, "ProfileDescription").contains("P3")) << file;
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
    int argc = 1;
    char name[9] = "oxel-pro";
    char* argv[2] = {name, nullptr};
};

TEST_F(RoadEndToEnd, SignsInThroughTheBrowserThenTakesHandoffsFromLaterStarts)
{
    auto started = startApplication({});
    ASSERT_TRUE(started);
    Application& application = *started;
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    application.showWindow();
    RootView& root = application.rootView();

    // Signed out on a first start: the sign-in screen offers both providers.
    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::signIn && root.isVisible(); }));
    auto* screen = qobject_cast<SignInView*>(root.screenWidget());
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(screen->googleButton(), nullptr);
    EXPECT_NE(screen->appleButton(), nullptr);
    screenshot("01-sign-in");

    // The browser follows the page and hands the callback to a second start of the program.
    QTest::mouseClick(screen->googleButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::main; }, 40000))
        << testing::contentsOf(browserLog);
    EXPECT_EQ(application.model().auth().state().which(), AuthState::Case::signedIn);
    EXPECT_NE(testing::contentsOf(browserLog).find("callback oxel:/oauthredirect?"), std::string::npos)
        << testing::contentsOf(browserLog);
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
    // The two pictures were not processed yet: the new batch asks first, and is told to go on.
    entry(application.menuBar().fileMenu(), "new batch")->trigger();
    QMessageBox* question = nullptr;
    ASSERT_TRUE(waitFor([&] { return (question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }));
    EXPECT_EQ(question->text().toStdString(), "2 pictures not processed yet · a new batch drops them");
    for (QAbstractButton* button : question->buttons())
        if (button->text() == "new batch") button->click();
    ASSERT_TRUE(waitFor([&] { return model.items().empty(); }));
    ASSERT_TRUE(waitFor([&] { return !entry(batchMenu, "process")->isEnabled(); }));
    ASSERT_TRUE(waiting.endedWell(5000));
    screenshot("04-new-batch");

    // A stray link reaches no sign-in and leaves the account as it was.
    LaterStart stray({QStringLiteral("oxel://nothing-waits")});
    ASSERT_TRUE(stray.endedWell());
    EXPECT_EQ(model.auth().state().which(), AuthState::Case::signedIn);

    application.quitWithoutAsking();
}

// The photographer's whole road: a copy handed over by shotwell at launch, sign-in, the confirm
// sheet, developing on the local backend, comparing, an export through the folder panel, and
// send back over the handed copy, after which the application closes itself.
TEST_F(RoadEndToEnd, HandsOffDevelopsExportsAndSendsBackThenCloses)
{
    const fs::path handed = cameraPicture("harbour_modified.jpg");
    const auto handedBytes = testing::contentsOf(handed);
    LaunchArguments launch;
    launch.handoff = true;
    launch.sender = "shotwell";
    launch.handoffFiles = {handed.string()};
    auto started = startApplication(launch);
    ASSERT_TRUE(started);
    Application& application = *started;
    application.showWindow();
    RootView& root = application.rootView();
    AppModel& model = application.model();
    model.settings().store().set("exportFormats", "jpeg");

    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::signIn && model.items().size() == 1; }))
        << int(root.screen()) << " " << model.items().size();
    EXPECT_TRUE(model.launchedByHandoff);
    screenshot("road-01-handed-over");
    auto* signInScreen = qobject_cast<SignInView*>(root.screenWidget());
    ASSERT_NE(signInScreen, nullptr);
    QTest::mouseClick(signInScreen->googleButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return root.screen() == RootView::Screen::main; }, 40000))
        << testing::contentsOf(browserLog);
    ASSERT_TRUE(waitFor([&] { return model.balance() && model.balance()->balance > 0; }));
    screenshot("road-02-signed-in");

    // The bottom bar's process asks first, in the confirm sheet.
    auto* view = qobject_cast<MainView*>(root.screenWidget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitFor([&] { return view->bottomBar() && view->bottomBar()->processButton()->isEnabled(); }));
    QTest::mouseClick(view->bottomBar()->processButton(), Qt::LeftButton);
    ConfirmSheet* confirm = nullptr;
    ASSERT_TRUE(waitFor([&] { return (confirm = topLevel<ConfirmSheet>()) && confirm->isVisible(); }));
    screenshot("road-03-confirm");
    QTest::mouseClick(button(*confirm, "process"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return model.itemsWithResult().size() == 1 && model.inFlightCount() == 0; }, 60000));
    ASSERT_TRUE(waitFor([&] { return model.items()[0]->previewImage().has_value(); }));
    screenshot("road-04-developed");

    // Holding space shows the original; letting go shows the result again.
    QTest::keyPress(application.window().windowHandle(), Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return view->comparing(); }));
    screenshot("road-05-comparing");
    QTest::keyRelease(application.window().windowHandle(), Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return !view->comparing(); }));

    // Export through the sheet and the folder panel, answered as a person would.
    const fs::path exports = home / "exports";
    fs::create_directories(exports);
    model.setShowExport(true);
    ExportSheet* sheet = nullptr;
    ASSERT_TRUE(waitFor([&] { return (sheet = topLevel<ExportSheet>()) && sheet->isVisible(); }));
    screenshot("road-06-export-sheet");
    QTest::mouseClick(button(*sheet, "export jpeg…"), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = topLevel<QFileDialog>()) && panel->isVisible(); }));
    EXPECT_EQ(panel->windowTitle(), "jpeg, into the folder you choose");
    EXPECT_EQ(panel->directory().absolutePath().toStdString(), exportPanelFolder(std::nullopt).string())
        << "the pictures folder, not the working folder";
    auto* folderName = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(folderName, nullptr);
    // Pasted as a whole, as typing would meet the panel's completion on the way.
    folderName->setText(QString::fromStdString(exports.string()));
    screenshot("road-07-folder-panel");
    QPushButton* exportHere = nullptr;
    for (auto* choice : panel->findChildren<QPushButton*>())
        if (choice->text() == "export here") exportHere = choice;
    ASSERT_NE(exportHere, nullptr);
    QTest::mouseClick(exportHere, Qt::LeftButton);
    const fs::path exported = exports / "harbour_modified-oxel.jpg";
    ASSERT_TRUE(waitFor([&] { return fs::exists(exported) && model.exportsPending() == 0; }, 60000));
    expectKeepsTheOriginal(exported);
    screenshot("road-08-exported");

    // Send back writes over the handed copy, then the application ends itself.
    QTimer::singleShot(0, [&] { entry(application.menuBar().batchMenu(), "send back")->trigger(); });
    QTimer sentBack;
    QObject::connect(&sentBack, &QTimer::timeout, [&] {
        if (testing::contentsOf(handed) == handedBytes) return;
        screenshot("road-09-sent-back");
        sentBack.stop();
    });
    sentBack.start(20);
    QTimer::singleShot(60000, [] { QApplication::exit(2); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(sentBack.isActive()) << "the application closed before the handed copy was written";
    EXPECT_NE(testing::contentsOf(handed), handedBytes) << "the handed copy holds the result";
    expectKeepsTheOriginal(handed);
}

TEST_F(RoadEndToEnd, TerminationWritesUnsavedChangesBeforeTheLoopEnds)
{
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
    model.setNudge("warmer light on the left", item);
    QTimer::singleShot(0, [] { ::raise(SIGTERM); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_NE(testing::contentsOf(record).find("warmer light on the left"), std::string::npos)
        << testing::contentsOf(record);
}

} // namespace
} // namespace oxel
