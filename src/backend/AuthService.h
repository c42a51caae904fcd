#pragma once

#include "async/CancelToken.h"
#include "async/Completion.h"
#include "async/Signal.h"
#include "async/Task.h"
#include "backend/AuthState.h"
#include "backend/BackendFailure.h"
#include "backend/BalanceResponse.h"
#include "backend/HttpSession.h"
#include "backend/KeychainAccount.h"
#include "platform/BuildInfo.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace oxel {

// The person closed or cancelled the sign-in page; the flow ends without a message.
struct WebSessionCancelled {};
// The callback URL, or why none came.
using WebSessionResult = std::variant<std::string, WebSessionCancelled, UrlError>;

// Signs the photographer in to the backend with an Apple or a Google account and publishes the
// account state. One lives for the life of the application, on the main thread.
//
// A flow opens the provider's page in the web browser and waits for the provider's callback URL,
// which reaches the running application through the single-instance channel and then
// `handleCallbackURL`. The wait ends with the first callback of the flow's scheme, with
// `cancelSignIn()`, or after the sign-in timeout (ten minutes), whichever comes first. Outcomes
// go only to `state`, `busy` and `lastError`; nothing is thrown out of a flow. Tasks of this
// service must not outlive it: spawn them in a scope that goes away first.
class AuthService {
public:
    struct AuthResult {
        std::string status;
        std::optional<std::int64_t> userId;
        std::optional<std::string> accessState;
        std::optional<std::string> accountToken;
    };
    struct AppleConfig {
        std::string servicesID;
        std::string redirectURI;
    };
    struct GoogleConfig {
        std::string clientID;
        std::string serverClientID;
        std::string scheme;
    };

    // What the service works with; `standard()` is the application's.
    struct Environment {
        AccountStorage storage;
        const BuildInfo* buildInfo;
        std::function<bool(const std::string& url)> openBrowser;
        std::function<BackendResult<BalanceResponse>(const std::string& userId)> fetchBalance;
        std::chrono::nanoseconds signInTimeout = std::chrono::minutes(10);

        static Environment standard();
    };

    static constexpr const char* appleCallbackScheme = "oxel";

    // Restores the account from the secret store when the user defaults lost it, then takes the
    // initial state from the user defaults.
    explicit AuthService(Environment environment = Environment::standard());
    ~AuthService();
    AuthService(const AuthService&) = delete;
    AuthService& operator=(const AuthService&) = delete;

    const AuthState& state() const { return state_; }
    bool busy() const { return busy_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    // Each published property notifies after every store.
    Signal<AuthState> stateChanged;
    Signal<bool> busyChanged;
    Signal<std::optional<std::string>> lastErrorChanged;

    Task<void> signInWithApple();
    Task<void> signInWithGoogle();
    // Ends the running flow as if the person had closed the sign-in page.
    void cancelSignIn();
    // A URL handed to the application (by the browser, through the single-instance channel).
    // True when a waiting sign-in took it; every other URL is refused, so a callback counts once.
    bool handleCallbackURL(const std::string& url);
    // After a balance request was refused with 403: drops the refused token once per launch and
    // asks for the balance without it, whose answer may carry a new token. True when it did.
    Task<bool> recoverAfterForbidden(BackendFailure error);
    // The sign-out action: forgets the account here and in the secret store.
    void signOut();
    // The backend answered that account `userId` does not exist: signs out, when that account is
    // still the one signed in, and says why on the sign-in screen.
    void forgetUnknownAccount(const std::string& userId);

    std::optional<AppleConfig> appleConfig() const;
    std::optional<GoogleConfig> googleConfig() const;

    // The steps of the flows.
    // Waits for the callback that carries `state`; callbacks with another state are ignored.
    Task<WebSessionResult> runWebSession(std::string url, std::string scheme, std::string state);
    Task<BackendResult<AuthResult>> sendIdentityToken(std::string path, std::string key, std::string token);
    static BackendResult<AuthResult> parseAuthResult(const BackendResult<HttpResponse>& answer);
    void applyAuthResult(const AuthResult& result, const std::string& provider);
    static std::string formPairs(const std::vector<std::pair<std::string, std::string>>& fields);

private:
    struct WebSession {
        std::string scheme;
        std::string state;
        Completion<WebSessionResult> completion;
    };

    Task<std::optional<std::string>> appleFlow(AppleConfig config);
    Task<std::optional<std::string>> googleFlow(GoogleConfig config);
    Task<std::optional<std::string>> exchange(std::string path, std::string key, std::string token,
                                              std::string provider, std::string failurePrefix);
    HttpRequest googleTokenRequest(const GoogleConfig& config, const std::string& code,
                                   const std::string& verifier) const;
    // The identity token of a token endpoint's answer: status 200, a JSON object, a text `id_token`.
    static std::optional<std::string> googleIdentityToken(const HttpResponse& answer);
    Task<BackendResult<HttpResponse>> send(HttpRequest request);
    // The message a failed step leaves: none when the person cancelled.
    std::optional<std::string> failureMessage(const BackendFailure& failure, const std::string& prefix) const;
    std::string endpoint(const char* key, const char* fallback, const char* path) const;
    // Runs a flow between the busy flag's rise and fall, and leaves its message; a flow that is
    // not configured only leaves the message.
    Task<void> runFlow(std::optional<Task<std::optional<std::string>>> flow, std::string notConfigured);

    void setState(AuthState state);
    void setBusy(bool busy);
    void setLastError(std::optional<std::string> message);

    Environment environment_;
    AuthState state_ = AuthState::signedOut();
    bool busy_ = false;
    std::optional<std::string> lastError_;
    std::shared_ptr<WebSession> webSession_;
    bool didAttemptRecovery_ = false;
    int runningFlows_ = 0;
    CancelSource flowCancel_;
};

} // namespace oxel
