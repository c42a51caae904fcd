#pragma once

#include "ui/kit/CentreLineScreen.h"

#include <QString>

#include <optional>

namespace oxel {

class InkBoxLabel;
class PaperPatch;
class TextLabel;

// The screen shown while the account is not signed in, waitlisted included: the wordmark, the
// line about the shared account, a button per configured sign-in provider and the last sign-in
// error. It only asks for a sign-in; the sign-in service does it and its state comes back here.
class SignInView : public CentreLineScreen {
    Q_OBJECT
public:
    struct Providers {
        bool apple = false;
        bool google = false;
    };

    explicit SignInView(Providers providers, QWidget* parent = nullptr);

    // While a sign-in runs the buttons are dimmed and ignore clicks.
    void setBusy(bool busy);
    bool isBusy() const { return busy_; }
    void setError(const std::optional<QString>& message);

    InkBoxLabel* appleButton() const { return appleButton_; }
    InkBoxLabel* googleButton() const { return googleButton_; }
    // The error line; hidden when there is no error.
    TextLabel* errorLine() const { return errorLine_; }

Q_SIGNALS:
    void appleRequested();
    void googleRequested();

private:
    InkBoxLabel* addProvider(QLayout& buttons, const QString& label);

    bool busy_ = false;
    QWidget* buttons_ = nullptr;
    InkBoxLabel* appleButton_ = nullptr;
    InkBoxLabel* googleButton_ = nullptr;
    TextLabel* errorLine_;
    PaperPatch* errorPatch_;
};

} // namespace oxel
