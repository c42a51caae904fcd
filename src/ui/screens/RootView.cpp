#include "ui/screens/RootView.h"

#include "ui/kit/Palette.h"
#include "ui/kit/PencilRule.h"
#include "ui/screens/AnnouncementView.h"
#include "ui/screens/RootSource.h"
#include "ui/screens/SignInView.h"
#include "ui/screens/UpdateRequiredView.h"

#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

namespace {

// Where the top bar will stand above the rule.
constexpr int topBarHeight = 52;

QWidget* emptyMainScreen()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, topBarHeight, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new PencilRule);
    layout->addStretch(1);
    return page;
}

// A screen or an overlay that is left goes at once from view, and from memory once the event
// that left it (often one of its own clicks) is over.
void retire(QWidget* widget)
{
    if (!widget) return;
    widget->hide();
    widget->deleteLater();
}

} // namespace

RootView::RootView(RootSource& source, MainScreenMaker makeMainScreen, QWidget* parent)
    : QWidget(parent),
      source_(source),
      makeMainScreen_(std::move(makeMainScreen)),
      lastState_(source.authState()),
      screen_(route(source.updateRequired(), lastState_))
{
    screenWidget_ = makeScreen(screen_);
    showAnnouncement();
    connection_ = source_.changed.connect([this] { sourceChanged(); });
}

RootView::~RootView() = default;

RootView::Screen RootView::route(bool updateRequired, const AuthState& state)
{
    if (updateRequired) return Screen::updateRequired;
    return state.which() == AuthState::Case::signedIn ? Screen::main : Screen::signIn;
}

void RootView::sourceChanged()
{
    const AuthState state = source_.authState();
    const bool becameSignedIn = state != lastState_ && state.which() == AuthState::Case::signedIn;
    lastState_ = state;
    showScreen(route(source_.updateRequired(), state));
    refreshSignIn();
    showAnnouncement();
    if (becameSignedIn) source_.refreshBalance();
}

void RootView::showScreen(Screen screen)
{
    if (screen == screen_ && screenWidget_) return;
    retire(screenWidget_);
    screen_ = screen;
    screenWidget_ = makeScreen(screen);
    if (announcement_) announcement_->raise();
}

QWidget* RootView::makeScreen(Screen screen)
{
    QWidget* made = nullptr;
    switch (screen) {
    case Screen::updateRequired: {
        auto* update = new UpdateRequiredView;
        connect(update, &UpdateRequiredView::updateRequested, this, [this] { source_.checkForUpdates(); });
        made = update;
        break;
    }
    case Screen::signIn: {
        auto* signIn = new SignInView({.apple = source_.appleConfigured(), .google = source_.googleConfigured()});
        connect(signIn, &SignInView::appleRequested, this, [this] { source_.signInWithApple(); });
        connect(signIn, &SignInView::googleRequested, this, [this] { source_.signInWithGoogle(); });
        signIn->setBusy(source_.signInBusy());
        signIn->setError(source_.signInError());
        made = signIn;
        break;
    }
    case Screen::main: made = makeMainScreen_ ? makeMainScreen_() : emptyMainScreen(); break;
    }
    made->setParent(this);
    made->setGeometry(rect());
    made->show();
    return made;
}

void RootView::refreshSignIn()
{
    if (auto* signIn = qobject_cast<SignInView*>(screenWidget_.data())) {
        signIn->setBusy(source_.signInBusy());
        signIn->setError(source_.signInError());
    }
}

void RootView::showAnnouncement()
{
    const std::optional<QVariantMap> message = source_.announcement();
    if (message == shownAnnouncement_ && (announcement_ != nullptr) == message.has_value()) return;
    retire(announcement_);
    announcement_ = nullptr;
    shownAnnouncement_ = message;
    if (!message) return;
    announcement_ = new AnnouncementView(*message, this);
    connect(announcement_, &AnnouncementView::linkFollowed, this, [this](const QUrl& url) { source_.openURL(url); });
    connect(announcement_, &AnnouncementView::dismissed, this, [this] { source_.dismissAnnouncement(); });
    announcement_->setGeometry(rect());
    announcement_->show();
    announcement_->raise();
}

void RootView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Palette::paper().resolve(appearanceOf(*this)));
}

void RootView::resizeEvent(QResizeEvent* event)
{
    if (screenWidget_) screenWidget_->setGeometry(rect());
    if (announcement_) announcement_->setGeometry(rect());
    QWidget::resizeEvent(event);
}

} // namespace oxel
