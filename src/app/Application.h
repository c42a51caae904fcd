#pragma once

#include "app/LaunchArguments.h"
#include "app/MenuEntries.h"
#include "app/QuitGuard.h"
#include "app/Updater.h"
#include "platform/InstanceChannel.h"

#include <QObject>

#include <chrono>
#include <memory>

class QApplication;

namespace oxel {

class AppMenuBar;
class AppearanceController;
class ForwardedStarts;
class MainWindow;
class QtMainExecutor;
class QuitAlertBoxes;
class TerminationSignals;
class UpdaterDialogs;

// The running program: Qt, the interface fonts and look, the main executor, the window and the
// updater, and the starts forwarded from later processes. `main` builds one; tests build it the
// same way.
class Application final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        Updater::Environment updater;
        // How long an inactive window waits before it asks for attention.
        std::chrono::milliseconds attentionDelay{1200};

        static Environment standard();
    };

    // The channel and the forwarded starts come from `InstanceChannel::claim`; both may be
    // null when the program runs alone.
    Application(int& argc, char** argv, LaunchArguments launch, std::unique_ptr<InstanceChannel> channel,
                std::shared_ptr<ForwardedStarts> forwarded, Environment environment = Environment::standard());
    ~Application() override;

    // Shows the window and runs the event loop; the exit status.
    int run();
    // Shows the window and starts the updater: what `run` does before the loop.
    void showWindow();
    // Asks what the quit guard asks, then saves and ends the event loop; a cancelled quit leaves
    // the window as it was.
    void quit();
    // Saves and ends the event loop without asking (termination signals, the session's end).
    void quitWithoutAsking();

    MainWindow& window() { return *window_; }
    AppMenuBar& menuBar() { return *menuBar_; }
    Updater& updater() { return *updater_; }
    std::chrono::steady_clock::time_point launchedAt() const { return launchedAt_; }

    // A later start's arguments, on the main thread: the window comes forward. A start that
    // waits for its files is kept waiting by `hold` until they are let go.
    void receiveStart(const LaunchArguments& launch, InstanceChannel::Hold hold = {});

Q_SIGNALS:
    // Each start handed over by a later process, once it is read.
    void startReceived(const oxel::LaunchArguments& launch);
    // The window asked the desktop for attention.
    void attentionRequested();

private:
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
    AppMenuBar* menuBar_ = nullptr;
    std::unique_ptr<UpdaterDialogs> updaterDialogs_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<QuitAlertBoxes> quitAlerts_;
    std::unique_ptr<QuitGuard> quitGuard_;
    std::unique_ptr<TerminationSignals> signals_;
    // Starts waiting for their hand-offs; until the model tells when each batch lets its files
    // go, they wait until the application ends.
    std::vector<InstanceChannel::Hold> waitingStarts_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The URL schemes the program takes on its command line: "oxel" and the sign-in callback's.
std::vector<std::string> applicationUrlSchemes();

} // namespace oxel
