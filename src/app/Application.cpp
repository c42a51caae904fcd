#include "app/Application.h"

#include "app/AboutPanel.h"
#include "app/AppMenuBar.h"
#include "app/FileReveal.h"
#include "app/ForwardedStarts.h"
#include "app/HandoffReception.h"
#include "app/MainView.h"
#include "app/MainWindow.h"
#include "app/ModelStartTarget.h"
#include "app/PanelQuitAlerts.h"
#include "app/QtMainExecutor.h"
#include "app/QtModelPanels.h"
#include "app/TerminationSignals.h"
#include "app/UpdaterDialogs.h"
#include "app/WaitingStarts.h"
#include "app/X11Startup.h"
#include "async/TimeSource.h"
#include "backend/SupportLink.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "ondevice/LanguageModel.h"
#include "platform/AppFolders.h"
#include "platform/BuildInfo.h"
#include "platform/InstanceChannel.h"
#include "platform/SettingsStore.h"
#include "platform/UrlOpener.h"
#include "sheets/QtSavePanel.h"
#include "sheets/TileActions.h"
#include "ui/kit/AppearanceController.h"
#include "ui/kit/Fonts.h"
#include "ui/screens/AppRootSource.h"
#include "ui/screens/RootView.h"
#include "ui/window/ModelWatch.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <QWindow>

#include <malloc.h>

namespace oxel {

// What the model asks of the application: the window forward, and a quit that passes the guard.
class Application::Control final : public AppControl {
public:
    explicit Control(Application& application) : application_(application) {}

    void comeToFront() override { application_.bringForward(std::nullopt); }
    // Asked from within the model's own work (send back's end): the guard asks on the next turn.
    void requestQuit() override
    {
        std::weak_ptr<bool> alive = application_.alive_;
        QTimer::singleShot(0, &application_, [this, alive] {
            if (!alive.expired()) application_.quit();
        });
    }

private:
    Application& application_;
};

Application::Environment Application::Environment::standard()
{
    return {Updater::Environment::standard(),
            std::chrono::milliseconds(1200),
            [](const std::string& url) { return oxel::openURL(url); },
            cacheDirectory() / "originals",
            AuthService::Environment::standard(),
            LibraryStore::Environment::standard(),
            nullptr};
}

// Pictures are large buffers made and let go all the time. glibc raises its threshold for giving a
// buffer its own mapping to the largest one freed, after which freed pictures stay in the heap: a
// batch of 40 kept about a gigabyte that nothing used. A fixed threshold hands them back at once.
// The smaller buffers of the develop's many pool threads each kept a heap of their own, and the
// memory freed in one was never reused by the others: two heaps hold 170 MB less at 250
// photographs, at the same processor time.
void Application::handLargeBuffersBackWhenFreed()
{
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_ARENA_MAX, 2);
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
    : qt_((handLargeBuffersBackWhenFreed(), std::make_unique<QApplication>(argc, argv))),
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
    makeModel();
    makeMenus();
    makeQuitGuard();
    window_->restorePlacement(SettingsStore::shared());
    connect(qt_.get(), &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && launched_) model_->refreshConfigIfStale();
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
    end();
}

bool Application::end()
{
    if (ended_) return *ended_;
    alive_.reset();
    if (forwarded_) forwarded_->close();
    channel_.reset();
    connections_.clear();
    menusWatch_.reset();
    waiting_.reset();
    updater_.reset();
    updaterDialogs_.reset();
    // The next start opens the window where it was left.
    window_->keepPlacement(SettingsStore::shared());
    // The window's content reads the model: it goes first, then the model, then its ports.
    window_.reset();
    tileActions_.reset();
    savePanel_.reset();
    rootSource_.reset();
    reception_.reset();
    startTarget_.reset();
    model_.reset();
    // The library's own writes reach the disk and the library is let go before anything else is
    // waited for: a start waiting for it opens its photographs at once.
    library_->shutdown();
    environment_.libraryLock.reset();
    // Work the model's tasks handed to other threads may still run, reading the library and
    // posting back to the executor: both stay until it has ended. A backend call that is not
    // answered is not waited for: it keeps them for good, and the process ends without it.
    ended_ = executor_->waitForPendingWork(std::chrono::steady_clock::now() + workPatience);
    if (!*ended_) {
        (void)library_.release();
        (void)executor_.release();
        return false;
    }
    library_.reset();
    installMainExecutor(nullptr);
    executor_.reset();
    return true;
}

void Application::makeModel()
{
    library_ = std::make_unique<LibraryStore>(environment_.library);
    panels_ = std::make_unique<QtModelPanels>(window_.get());
    control_ = std::make_unique<Control>(*this);
    model_ = std::make_unique<AppModel>(ModelServices{SettingsStore::shared(), *library_, TimeSource::system(),
                                                      environment_.auth, WorkPool::shared(), HttpSession::shared(),
                                                      environment_.openURL, *panels_, *control_,
                                                      LanguageModel::shared(), environment_.originalsCache});
    rootSource_ = std::make_unique<AppRootSource>(
        *model_, model_->auth(),
        AppRootSource::Shell{[this] { updater_->checkForUpdates(); },
                             [this](const QUrl& url) { environment_.openURL(url.toString().toStdString()); }});
    savePanel_ = std::make_unique<QtSavePanel>(window_.get());
    const auto reveal = [openURL = environment_.openURL](const std::filesystem::path& file) {
        showInFolder(file, openURL);
    };
    tileActions_ = std::make_unique<TileActions>(*model_, *savePanel_, reveal);
    MainView::Shell shell{[this] { updater_->checkForUpdates(); },
                          [this] { environment_.openURL(supportURL(std::nullopt, std::nullopt, std::nullopt)); },
                          [this](AppearancePreference preference) { appearance_->setPreference(preference); },
                          panels_.get(),
                          reveal,
                          nullptr};
    // Each main view made anew hands its tiles' menus and "find the original" to the shell.
    rootView_ = new RootView(*rootSource_, [this, makeMain = mainViewMaker(*model_, shell)] {
        QWidget* screen = makeMain();
        if (auto* view = qobject_cast<MainView*>(screen)) {
            connect(
                view, &MainView::tileMenuRequested, tileActions_.get(),
                [this, view](std::shared_ptr<BatchItem> item, QPoint at) { tileActions_->openMenu(item, at, view); });
            connect(view, &MainView::locateRequested, this,
                    [this](std::shared_ptr<BatchItem> item) { model_->locateOriginal(item); });
        }
        return screen;
    });
    window_->setContent(rootView_);
    startTarget_ = std::make_unique<ModelStartTarget>(*model_);
    reception_ = std::make_unique<HandoffReception>(*startTarget_, TimeSource::system(), launchedAt_);
    waiting_ = std::make_unique<WaitingStarts>(*model_);
}

void Application::makeMenus()
{
    menuBar_ = new AppMenuBar(*window_, {[this] { return menuState(); }, [this] { return model_->recent(); }});
    connect(menuBar_, &AppMenuBar::chosen, this, &Application::choose);
    // The model changes many times in one turn (a slider drag, an import): the menus follow once.
    menusWatch_ = std::make_unique<ModelWatch>(*this, *model_, [this] { menuBar_->refresh(); });
    menusWatch_->model(ModelWatch::ModelFields::every());
    // A reopened batch's results arrive picture by picture, after the batch itself.
    menusWatch_->items(
        {BatchItem::Field::phase, BatchItem::Field::result, BatchItem::Field::availability, BatchItem::Field::source});
    connections_.push_back(model_->auth().stateChanged.connect([this](const AuthState&) { menusWatch_->request(); }));
}

void Application::makeQuitGuard()
{
    quitAlerts_ = std::make_unique<PanelQuitAlerts>(*panels_);
    QuitGuard::Environment guarded;
    guarded.unfinished = [this] { return Unfinished::of(*model_); };
    guarded.batchStored = [this] { return model_->batch().has_value(); };
    guarded.exportsPending = [this] { return model_->exportsPending(); };
    guarded.saveAndDrain = [this] {
        model_->saveNow();
        if (library_->writing())
            if (auto* view = qobject_cast<MainView*>(rootView_->screenWidget())) view->showSaving();
        library_->drain();
    };
    guarded.alerts = quitAlerts_.get();
    quitGuard_ = std::make_unique<QuitGuard>(std::move(guarded));
    signals_ = std::make_unique<TerminationSignals>();
    connect(signals_.get(), &TerminationSignals::received, this, &Application::quitWithoutAsking);
    connect(qt_.get(), &QGuiApplication::commitDataRequest, this, [this](QSessionManager& session) {
        if (!session.allowsInteraction()) {
            quitGuard_->quitWithoutAsking();
        } else if (!quitGuard_->requestSessionEnd()) {
            session.cancel();
        }
        session.release();
    });
    qt_->installEventFilter(this);
}

bool Application::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qt_.get() && event->type() == QEvent::Quit) quitGuard_->sessionEnds();
    return QObject::eventFilter(watched, event);
}

size_t Application::waitingStarts() const
{
    return waiting_->count();
}

MenuState Application::menuState() const
{
    MenuState state;
    state.itemsToProcess = int(model_->itemsToProcess().size());
    state.signedIn = model_->auth().state().which() == AuthState::Case::signedIn;
    state.itemsWithResult = int(model_->itemsWithResult().size());
    state.canSendBack = !model_->sendBackItems().empty();
    state.batchStored = model_->batch().has_value();
    state.canCheckForUpdates = updater_->canCheckForUpdates();
    return state;
}

void Application::showWindow()
{
    window_->show();
    updater_->start();
    std::weak_ptr<bool> alive = alive_;
    executor_->post([this, alive] {
        if (!alive.expired()) launchModel();
    });
}

void Application::launchModel()
{
    model_->launch();
    launched_ = true;
    // The program's own files and links are taken after launch, as a later start's would be.
    bool ownStart = !launch_.openedFiles.empty() || !launch_.handoffFiles.empty() || !launch_.urls.empty();
    if (ownStart) {
        reception_->receive(launch_);
        Q_EMIT startReceived(launch_);
    }
}

int Application::run()
{
    showWindow();
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

void Application::choose(MenuCommand command, const std::optional<Uuid>& batch)
{
    switch (command) {
    case MenuCommand::newBatch: model_->requestNewBatch(); break;
    case MenuCommand::importImages: model_->openFiles(); break;
    case MenuCommand::allBatches: model_->setShowBatches(true); break;
    case MenuCommand::process: model_->process(); break;
    case MenuCommand::exportResults: model_->setShowExport(true); break;
    case MenuCommand::renameBatch: model_->setShowRename(true); break;
    case MenuCommand::quit: quit(); break;
    case MenuCommand::checkForUpdates: updater_->checkForUpdates(); break;
    case MenuCommand::about: (new AboutPanel(*environment_.updater.buildInfo, window_.get()))->open(); break;
    case MenuCommand::openRecent:
        if (batch) model_->requestOpenBatch(*batch);
        break;
    case MenuCommand::sendBack: model_->sendBack(); break;
    }
}

void Application::receiveStart(const LaunchArguments& launch, InstanceChannel::Hold hold)
{
    reception_->receive(launch);
    if (launch.wait && launch.handoff) waiting_->add(launch.handoffFiles, std::move(hold));
    Q_EMIT startReceived(launch);
    bringForward(launch.activationToken);
}

void Application::bringForward(const std::optional<std::string>& activationToken)
{
    const bool wayland = QGuiApplication::platformName() == QLatin1String("wayland");
    // Wayland lets a window take focus only with the token of the start that asked for it; Qt
    // reads it from the environment when the window is activated.
    if (activationToken && wayland) qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(*activationToken));
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
    if (activationToken && !wayland && window_->windowHandle())
        activateWithStartupToken(*window_->windowHandle(), *activationToken);
    QPointer<MainWindow> window = window_.get();
    QTimer::singleShot(environment_.attentionDelay, this, [this, window] {
        if (!window || window->isActiveWindow()) return;
        QApplication::alert(window);
        Q_EMIT attentionRequested();
    });
}

} // namespace oxel
