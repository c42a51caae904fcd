#include "app/Application.h"

#include "app/AboutPanel.h"
#include "app/AppMenuBar.h"
#include "app/ForwardedStarts.h"
#include "app/MainWindow.h"
#include "app/QtMainExecutor.h"
#include "app/QuitAlertBoxes.h"
#include "app/TerminationSignals.h"
#include "app/UpdaterDialogs.h"
#include "platform/BuildInfo.h"
#include "platform/InstanceChannel.h"
#include "ui/AppearanceController.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace oxel {

Application::Environment Application::Environment::standard()
{
    return {Updater::Environment::standard()};
}

std::vector<std::string> applicationUrlSchemes()
{
    std::vector<std::string> schemes{"oxel"};
    std::optional<std::string> google = BuildInfo::main().string("GoogleOAuthURLScheme");
    if (google && *google != "oxel") schemes.push_back(*google);
    return schemes;
}

Application::Application(int& argc, char** argv, LaunchArguments launch, std::unique_ptr<InstanceChannel> channel,
                         std::shared_ptr<ForwardedStarts> forwarded, Environment environment)
    : qt_(std::make_unique<QApplication>(argc, argv)),
      launch_(std::move(launch)),
      environment_(std::move(environment)),
      channel_(std::move(channel)),
      forwarded_(std::move(forwarded)),
      launchedAt_(std::chrono::steady_clock::now())
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("oxel pro"));
    QGuiApplication::setDesktopFileName(QStringLiteral("oxel-pro"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    installInterfaceFonts();
    executor_ = std::make_unique<QtMainExecutor>();
    installMainExecutor(executor_.get());
    appearance_ = std::make_unique<AppearanceController>(AppearanceController::Environment::standard());
    window_ = std::make_unique<MainWindow>();
    connect(window_.get(), &MainWindow::closeRequested, this, &Application::quit);
    updaterDialogs_ = std::make_unique<UpdaterDialogs>(window_.get());
    updater_ = std::make_unique<Updater>(*updaterDialogs_, environment_.updater);
    // Until the model is made here, only the updater's state reaches the menus.
    menuBar_ = new AppMenuBar(*window_, {[this] {
                                             MenuState state;
                                             state.canCheckForUpdates = updater_->canCheckForUpdates();
                                             return state;
                                         },
                                         [] { return std::vector<BatchSummary>{}; }});
    connect(menuBar_, &AppMenuBar::chosen, this, &Application::choose);
    quitAlerts_ = std::make_unique<QuitAlertBoxes>(window_.get());
    // Until the model is made here nothing develops, exports or waits to be saved.
    quitGuard_ = std::make_unique<QuitGuard>(
        QuitGuard::Environment{[] { return 0; }, [] { return false; }, [] { return 0; }, [] {}, quitAlerts_.get()});
    signals_ = std::make_unique<TerminationSignals>();
    connect(signals_.get(), &TerminationSignals::received, this, &Application::quitWithoutAsking);
    connect(qt_.get(), &QGuiApplication::commitDataRequest, this, [this](QSessionManager& session) {
        if (!session.allowsInteraction()) {
            quitGuard_->quitWithoutAsking();
        } else if (!quitGuard_->requestQuit()) {
            session.cancel();
        }
        session.release();
    });
    if (forwarded_) {
        std::weak_ptr<bool> alive = alive_;
        forwarded_->open([this, alive](std::vector<std::string> arguments, InstanceChannel::Hold hold) {
            if (alive.expired()) return;
            ParsedArguments parsed = parseLaunchArguments(arguments, "/", applicationUrlSchemes());
            if (parsed.arguments) receiveStart(*parsed.arguments, std::move(hold));
        });
    }
}

Application::~Application()
{
    alive_.reset();
    if (forwarded_) forwarded_->close();
    channel_.reset();
    updater_.reset();
    updaterDialogs_.reset();
    window_.reset();
    installMainExecutor(nullptr);
    executor_.reset();
}

void Application::showWindow()
{
    window_->show();
    updater_->start();
}

int Application::run()
{
    showWindow();
    // The program's own files and links are taken on the first turn of the loop, as a later
    // start's would be.
    bool ownStart = !launch_.openedFiles.empty() || !launch_.handoffFiles.empty() || !launch_.urls.empty();
    if (ownStart) executor_->post([this] { Q_EMIT startReceived(launch_); });
    return QApplication::exec();
}

void Application::quit()
{
    if (quitGuard_->requestQuit()) QApplication::quit();
}

void Application::quitWithoutAsking()
{
    quitGuard_->quitWithoutAsking();
    QApplication::quit();
}

void Application::choose(MenuCommand command, const std::optional<Uuid>&)
{
    switch (command) {
    case MenuCommand::quit: quit(); break;
    case MenuCommand::checkForUpdates: updater_->checkForUpdates(); break;
    case MenuCommand::about: (new AboutPanel(*environment_.updater.buildInfo, window_.get()))->open(); break;
    default: break; // the batch commands are the model's
    }
}

void Application::receiveStart(const LaunchArguments& launch, InstanceChannel::Hold hold)
{
    if (launch.wait && hold) waitingStarts_.push_back(std::move(hold));
    Q_EMIT startReceived(launch);
    bringForward(launch.activationToken);
}

void Application::bringForward(const std::optional<std::string>& activationToken)
{
    // Wayland lets a window take focus only with the token of the start that asked for it; Qt
    // reads it from the environment when the window is activated.
    if (activationToken && QGuiApplication::platformName() == QLatin1String("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(*activationToken));
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
    QPointer<MainWindow> window = window_.get();
    QTimer::singleShot(environment_.attentionDelay, this, [this, window] {
        if (!window || window->isActiveWindow()) return;
        QApplication::alert(window);
        Q_EMIT attentionRequested();
    });
}

} // namespace oxel
