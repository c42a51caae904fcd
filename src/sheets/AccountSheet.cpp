#include "sheets/AccountSheet.h"

#include "backend/BackendBaseURL.h"
#include "backend/KeychainAccount.h"
#include "sheets/SheetParts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {

std::string signInLine(const std::optional<std::string>& provider, const AuthState& state)
{
    const std::string who = provider && !provider->empty() ? *provider : "oxel";
    const std::string account = state.hasAccount() ? state.userId() : "?";
    return "signed in with " + who + " · account " + account;
}

std::string versionLine(const std::string& version, const std::string& build, const std::string& backend)
{
    return "oxel pro " + version + " (" + build + ") · " + backend;
}

AccountSheet::AccountSheet(AppModel& model, QWidget* parent, const BuildInfo& build)
    : ModelSheet(model, "account", parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showAccount, &AppModel::showAccount, &AppModel::setShowAccount)),
      build_(build)
{
    auto* lines = sheet::column(8);
    signIn_ = sheet::text({}, 12, Palette::ink(0.7), true);
    version_ = sheet::text({}, 11, Palette::pencil(), true);
    lines->addWidget(signIn_);
    lines->addWidget(version_);

    auto* signOut = sheet::button("sign out", false);
    auto* done = sheet::button("done", true);
    connect(signOut, &SheetButton::clicked, this, &AccountSheet::signOut);
    connect(done, &SheetButton::clicked, this, &QDialog::accept);

    place(sheet::holding(lines), {signOut}, {done});
    setDefaultButton(done);
    authConnection_ = model.auth().stateChanged.connect([this](const AuthState&) { refresh(); });
    refresh();
}

void AccountSheet::refresh()
{
    const auto provider = model().settings().store().stringValue(accountKeys::signInProvider);
    signIn_->setText(QString::fromStdString(signInLine(provider, model().auth().state())));
    version_->setText(QString::fromStdString(versionLine(appVersion(build_), buildNumber(build_), backendBaseURL())));
}

void AccountSheet::signOut()
{
    closeThen([this] { model().auth().signOut(); });
}

} // namespace oxel
