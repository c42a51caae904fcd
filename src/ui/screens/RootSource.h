#pragma once

#include "async/Signal.h"
#include "backend/AuthState.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

namespace oxel {

// What the window's content reads and asks for: the application model's update flag and
// announcement, the sign-in service's state, and the few actions the start screens start.
// `changed` fires after any of the values changed; the root reads them all afresh.
class RootSource {
public:
    virtual ~RootSource() = default;

    virtual bool updateRequired() const = 0;
    virtual std::optional<QVariantMap> announcement() const = 0;
    virtual AuthState authState() const = 0;
    virtual bool signInBusy() const = 0;
    virtual std::optional<QString> signInError() const = 0;
    virtual bool appleConfigured() const = 0;
    virtual bool googleConfigured() const = 0;

    virtual void signInWithApple() = 0;
    virtual void signInWithGoogle() = 0;
    // The updater's user-initiated check, with the updater's own window.
    virtual void checkForUpdates() = 0;
    // Notes the announcement's "id" as seen and clears it.
    virtual void dismissAnnouncement() = 0;
    virtual void refreshBalance() = 0;
    // Opens a web address in the default browser.
    virtual void openURL(const QUrl& url) = 0;

    Signal<> changed;

    void publishChange() const { changed.emit(); }
};

} // namespace oxel
