#pragma once

#include "ui/screens/RootSource.h"

#include "async/TaskScope.h"
#include "platform/JsonFields.h"

#include <functional>

namespace oxel {

class AppModel;
class AuthService;

// The window's content fed by the application model and the sign-in service: the model's update
// flag and announcement, the service's state, busy flag and last error. Sign-ins and balance
// refreshes run in this object's scope; the updater and the browser are the shell's.
class AppRootSource : public RootSource {
public:
    struct Shell {
        std::function<void()> checkForUpdates;
        std::function<void(const QUrl&)> openURL;
    };

    AppRootSource(AppModel& model, AuthService& auth, Shell shell);
    ~AppRootSource() override;

    // The announcement as the view reads it: text stays text, every other value keeps a type
    // that is not text, so it counts as absent.
    static QVariantMap messageOf(const Json& announcement);

    bool updateRequired() const override;
    std::optional<QVariantMap> announcement() const override;
    AuthState authState() const override;
    bool signInBusy() const override;
    std::optional<QString> signInError() const override;
    bool appleConfigured() const override;
    bool googleConfigured() const override;
    void signInWithApple() override;
    void signInWithGoogle() override;
    void checkForUpdates() override;
    void dismissAnnouncement() override;
    void refreshBalance() override;
    void openURL(const QUrl& url) override;

private:
    AppModel& model_;
    AuthService& auth_;
    Shell shell_;
    std::vector<Connection> connections_;
    TaskScope scope_;
};

} // namespace oxel
