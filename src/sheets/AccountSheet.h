#pragma once

#include "backend/AuthState.h"
#include "platform/BuildInfo.h"
#include "sheets/ModelSheet.h"

#include <optional>
#include <string>

namespace oxel {

class TextLabel;

// "signed in with google · account 42": the provider ("oxel" when none is stored) and the account
// number ("?" when signed out).
std::string signInLine(const std::optional<std::string>& provider, const AuthState& state);
// "oxel pro 1.4 (140) · https://…".
std::string versionLine(const std::string& version, const std::string& build, const std::string& backend);

// How the photographer signed in and under which account, the version, build and backend, with
// "sign out" (which forgets the saved account at once) and "done".
class AccountSheet : public ModelSheet {
    Q_OBJECT
public:
    AccountSheet(AppModel& model, QWidget* parent, const BuildInfo& build = BuildInfo::main());

    static constexpr int sheetWidth = 380;

private:
    void refresh();
    void signOut();

    const BuildInfo& build_;
    TextLabel* signIn_;
    TextLabel* version_;
    Connection authConnection_;
};

} // namespace oxel
