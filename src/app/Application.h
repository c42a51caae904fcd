#pragma once

#include "app/LaunchArguments.h"
#include "app/MenuEntries.h"
#include "app/QuitGuard.h"
#include "app/Updater.h"
#include "async/Signal.h"
#include "backend/AuthService.h"
#include "library/LibraryStore.h"
#include "platform/InstanceChannel.h"

#include <QObject>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QApplication;

namespace oxel {

class AppModel;
class AppMenuBar;
class AppRootSource;
class AppearanceController;
class ForwardedStarts;
class LibraryLock;
class HandoffReception;
class MainWindow;
class ModelStartTarget;
class ModelWatch;
class QtMainExecutor;
class QtModelPanels;
class QtSavePanel;
class RootView;
class TerminationSignals;
class TileActions;
class UpdaterDialogs;
class WaitingStarts;

// The running program: Qt, the interface fonts and look, the main executor, the application
// model with its ports, the window and its content, the menus, the updater, the quit guard, and
// the starts forwarded from later processes. `main` builds one; tests build it the same way.
class Application final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        Updater::Environment updater;
        // How long an inactive window waits before it asks for attention.
        std::chrono::milliseconds attentionDelay{1200};
        // Opens a URL with the desktop's handler.
        std::function<bool(const std::string& url)> openURL;
        // Where handed-over files are copied before send back first writes over them.
        std::filesystem::path originalsCache;
        // The sign-in service's account store, providers and browser.
        AuthService::Environment auth;
        // The library: where, and whether this program holds its lock.
        LibraryStore::Environment library;
        // The library's lock, when this program holds it: let go once the library's last write is
        // on disk, before the program waits for anything else.
        std::shared_ptr<LibraryLock> libraryLock;

        static Environment standard();
    };

    // The channel and the forwarded starts come from `InstanceChannel::claim`; both may be
    // null when the program runs alone.
    Application(int& argc, char** argv, LaunchArguments launch, std::unique_ptr<InstanceChannel> channel,
                std::shared_ptr<ForwardedStarts> forwarded, Environment environment = Environment::standard());
    // Makes the process give freed pictures back to the system at once; the constructor calls it.
    static void handLargeBuffersBackWhenFreed();
    // Ends the program's work as `end` does; work left running keeps what it uses.
    ~Application() override;

    // How long the program's end waits for work still running on other threads, such as a backend
    // call that is not answered, once the library is let go.
    static constexpr std::chrono::milliseconds workPatience{1000};

    // Shows the window and runs the event loop; the exit status.
    int run();
    // Shows the window, starts the updater and, on the next turn, launches the model and takes
    // the program's own files and links: what `run` does before the loop.
    void showWindow();
    // Asks what the quit guard asks, then saves and ends the event loop; a cancelled quit leaves
    // the window as it was.
    void quit();
    // Saves and ends the event loop without asking (termination signals, the session's end).
    void quitWithoutAsking();
    // After the event loop: the window and the model go, the library's writes reach the disk, its
    // lock is let go, and work still running elsewhere is given `workPatience` to end. False when
    // some is still running then: it keeps the library and the executor it uses, and the process
    // should end without waiting for it. Once is enough; later calls give the same answer.
    bool end();

    MainWindow& window() { return *window_; }
    RootView& rootView() { return *rootView_; }
    AppMenuBar& menuBar() { return *menuBar_; }
    Updater& updater() { return *updater_; }
    AppModel& model() { return *model_; }
    std::chrono::steady_clock::time_point launchedAt() const { return launchedAt_; }
    // Starts still waiting for their hand-off to be let go.
    size_t waitingStarts() const;

    // A start's arguments, on the main thread: links to sign-in, opened files to the batch,
    // hand-offs to the model, and the window comes forward. A start that waits for its files is
    // kept waiting by `hold` until they are let go.
    void receiveStart(const LaunchArguments& launch, InstanceChannel::Hold hold = {});

protected:
    // Qt's own quit: the session's end lets the windows go on the answer given to its save request.
    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    // Each start handed over by a later process, once it is read.
    void startReceived(const oxel::LaunchArguments& launch);
    // The window asked the desktop for attention.
    void attentionRequested();

private:
    class Control;

    void makeModel();
    void makeMenus();
    void makeQuitGuard();
    void launchModel();
    MenuState menuState() const;
    void choose(MenuCommand command, const std::optional<Uuid>& batch);
    void bringForward(const std::optional<std::string>& activationToken);

    std::unique_ptr<QApplication> qt_;
    std::unique_ptr<QtMainExecutor> executor_;
    LaunchArguments launch_;
    Environment environment_;
    std::unique_ptr<InstanceChannel> channel_;
    std::shared_ptr<ForwardedStarts> forwarded_;
    std::chrono::steady_clock::time_point launchedAt_;
    std::unique_ptr<AppearanceController> appearance_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<LibraryStore> library_;
    std::unique_ptr<QtModelPanels> panels_;
    std::unique_ptr<Control> control_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<AppRootSource> rootSource_;
    RootView* rootView_ = nullptr;
    std::unique_ptr<QtSavePanel> savePanel_;
    std::unique_ptr<TileActions> tileActions_;
    std::unique_ptr<ModelStartTarget> startTarget_;
    std::unique_ptr<HandoffReception> reception_;
    std::unique_ptr<WaitingStarts> waiting_;
    AppMenuBar* menuBar_ = nullptr;
    std::unique_ptr<ModelWatch> menusWatch_;
    bool launched_ = false;
    std::optional<bool> ended_;
    std::unique_ptr<UpdaterDialogs> updaterDialogs_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<QuitAlerts> quitAlerts_;
    std::unique_ptr<QuitGuard> quitGuard_;
    std::unique_ptr<TerminationSignals> signals_;
    std::vector<Connection> connections_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The URL schemes the program takes on its command line: "oxel" and the sign-in callback's.
std::vector<std::string> applicationUrlSchemes();

} // namespace oxel
