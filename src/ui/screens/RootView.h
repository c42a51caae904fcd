#pragma once

#include "async/Signal.h"
#include "backend/AuthState.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace oxel {

class AnnouncementView;
class RootSource;

// The window's content: paper holding one screen, chosen afresh at every change of its source
// (update required, else sign-in until signed in, else the main screen), with the announcement,
// when there is one, over it. A screen is made when routed to and destroyed when left, so the
// main screen starts fresh each time. Signing in asks once for the shots balance.
class RootView : public QWidget {
    Q_OBJECT
public:
    enum class Screen { updateRequired, signIn, main };
    using MainScreenMaker = std::function<QWidget*()>;

    // Without a maker, the main screen is an empty page under the top rule.
    explicit RootView(RootSource& source, MainScreenMaker makeMainScreen = {}, QWidget* parent = nullptr);
    ~RootView() override;

    Screen screen() const { return screen_; }
    QWidget* screenWidget() const { return screenWidget_; }
    // The announcement over the screen; null when there is none.
    AnnouncementView* announcement() const { return announcement_; }

    static Screen route(bool updateRequired, const AuthState& state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void sourceChanged();
    void showScreen(Screen screen);
    QWidget* makeScreen(Screen screen);
    void refreshSignIn();
    void showAnnouncement();

    RootSource& source_;
    MainScreenMaker makeMainScreen_;
    AuthState lastState_;
    Screen screen_;
    QPointer<QWidget> screenWidget_;
    AnnouncementView* announcement_ = nullptr;
    std::optional<QVariantMap> shownAnnouncement_;
    Connection connection_;
};

} // namespace oxel
