#include "backend/AuthService.h"

#include "async/MainExecutor.h"
#include "async/Offload.h"
#include "backend/AccountEndpoints.h"
#include "backend/AuthCallbackURL.h"
#include "backend/AuthTokens.h"
#include "backend/BackendBaseURL.h"
#include "backend/BackendRequest.h"
#include "backend/Utf8Text.h"
#include "platform/Diagnostics.h"
#include "platform/UrlOpener.h"

namespace oxel {

namespace {

// The platform value the backend expects from this client, whatever system it runs on.
constexpr const char* clientPlatform = "macos";
constexpr auto exchangeTimeout = std::chrono::seconds(60);

// Build-info keys of the providers' endpoints; a development build points them at the local backend,
// and they follow it when it is moved.
constexpr const char* appleAuthBaseKey = "AppleAuthBaseURL";
constexpr const char* googleAuthBaseKey = "GoogleAuthBaseURL";
constexpr const char* googleTokenBaseKey = "GoogleTokenBaseURL";

// A configured text: present, not empty, and not an unexpanded build variable.
std::optional<std::string> configured(const BuildInfo& info, const char* key)
{
    auto value = info.string(key);
    if (!value || value->empty() || value->find("$(") != std::string::npos) return std::nullopt;
    return value;
}

bool isCancellation(const BackendFailure& failure)
{
    if (std::holds_alternative<Cancellation>(failure)) return true;
    const auto* transport = std::get_if<UrlError>(&failure);
    return transport && transport->code == UrlErrorCode::cancelled;
}

std::string googleRedirectURI(const AuthService::GoogleConfig& config)
{
    return config.scheme + ":/oauthredirect";
}

bool isAlphanumeric(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string percentEncodedAlphanumeric(std::string_view value)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char c : value) {
        if (isAlphanumeric(c)) {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0xF];
        }
    }
    return encoded;
}

// The callback's query value equals `expected`.
bool itemEquals(const AuthCallbackURL& callback, const char* name, const std::string& expected)
{
    const QueryItem* item = callback.firstItem(name);
    return item && item->value == expected;
}

std::optional<std::string> nonEmptyValue(const AuthCallbackURL& callback, const char* name)
{
    const QueryItem* item = callback.firstItem(name);
    if (!item || !item->value || item->value->empty()) return std::nullopt;
    return item->value;
}

} // namespace

AuthService::Environment AuthService::Environment::standard()
{
    return {AccountStorage::standard(), &BuildInfo::main(), openURL,
            [](const std::string& userId) { return oxel::fetchBalance(userId); }};
}

AuthService::AuthService(Environment environment) : environment_(std::move(environment))
{
    KeychainAccount::restoreAtLaunch(environment_.storage);
    const SettingsStore& defaults = environment_.storage.defaults;
    const auto userId = defaults.stringValue(accountKeys::userId);
    if (userId && !userId->empty())
        state_ = defaults.stringValue(accountKeys::accessState) == "waitlisted" ? AuthState::waitlisted(*userId)
                                                                                : AuthState::signedIn(*userId);
}

AuthService::~AuthService()
{
    flowCancel_.cancel();
}

void AuthService::setState(AuthState state)
{
    state_ = std::move(state);
    stateChanged.emit(state_);
}

void AuthService::setBusy(bool busy)
{
    busy_ = busy;
    busyChanged.emit(busy_);
}

void AuthService::setLastError(std::optional<std::string> message)
{
    lastError_ = std::move(message);
    lastErrorChanged.emit(lastError_);
}

std::optional<AuthService::AppleConfig> AuthService::appleConfig() const
{
    auto servicesID = configured(*environment_.buildInfo, "AppleWebServicesID");
    auto redirectURI = configured(*environment_.buildInfo, "AppleWebRedirectURL");
    if (!servicesID || !redirectURI) return std::nullopt;
    return AppleConfig{*servicesID, atRunningBackend(*redirectURI, *environment_.buildInfo, backendBaseURL())};
}

std::optional<AuthService::GoogleConfig> AuthService::googleConfig() const
{
    auto clientID = configured(*environment_.buildInfo, "GoogleOAuthClientID");
    auto serverClientID = configured(*environment_.buildInfo, "GoogleOAuthServerClientID");
    auto scheme = configured(*environment_.buildInfo, "GoogleOAuthURLScheme");
    if (!clientID || !serverClientID || !scheme) return std::nullopt;
    return GoogleConfig{*clientID, *serverClientID, *scheme};
}

std::string AuthService::endpoint(const char* key, const char* fallback, const char* path) const
{
    const auto base = configured(*environment_.buildInfo, key);
    return (base ? atRunningBackend(*base, *environment_.buildInfo, backendBaseURL()) : fallback) + path;
}

Task<void> AuthService::signInWithApple()
{
    const auto config = appleConfig();
    return runFlow(config ? std::optional(appleFlow(*config)) : std::nullopt,
                   "apple sign-in is not configured for this build");
}

Task<void> AuthService::signInWithGoogle()
{
    const auto config = googleConfig();
    return runFlow(config ? std::optional(googleFlow(*config)) : std::nullopt,
                   "google sign-in is not configured for this build");
}

Task<void> AuthService::runFlow(std::optional<Task<std::optional<std::string>>> flow, std::string notConfigured)
{
    if (!flow) {
        setLastError(std::move(notConfigured)); // busy stays as it was
        co_return;
    }
    flowCancel_ = CancelSource();
    {
        // A flow that a newer one replaced ends first; busy stays up until the newer one ends.
        struct Running {
            int& count;
            explicit Running(int& flows) : count(++flows) {}
            ~Running() { --count; }
        } running(runningFlows_);
        setBusy(true);
        setLastError(std::nullopt);
        const auto message = co_await std::move(*flow);
        if (message) setLastError(*message);
    }
    if (runningFlows_ == 0) setBusy(false);
}

Task<std::optional<std::string>> AuthService::appleFlow(AppleConfig config)
{
    const auto state = randomToken(24);
    if (!state) co_return "apple sign-in failed: no secure random bytes were available";
    const std::string url = endpoint(appleAuthBaseKey, "https://appleid.apple.com", "/auth/authorize") + "?" +
                            queryString({{"client_id", config.servicesID},
                                         {"redirect_uri", config.redirectURI},
                                         {"response_type", "code id_token"},
                                         {"response_mode", "form_post"},
                                         {"scope", "name email"},
                                         {"state", *state}});
    const WebSessionResult session = co_await runWebSession(url, appleCallbackScheme, *state);
    if (std::holds_alternative<WebSessionCancelled>(session)) co_return std::nullopt;
    if (const auto* error = std::get_if<UrlError>(&session)) co_return failureMessage(*error, "apple sign-in failed: ");

    const auto callback = AuthCallbackURL::parse(std::get<std::string>(session));
    if (!callback || !callback->queryItems) co_return "apple returned nothing";
    if (const QueryItem* error = callback->firstItem("error"); error && error->value) {
        if (*error->value == "user_cancelled_authorize") co_return std::nullopt;
        co_return "apple sign-in failed: " + *error->value;
    }
    const auto identityToken = nonEmptyValue(*callback, "id_token");
    if (!itemEquals(*callback, "state", *state) || !identityToken) co_return "apple returned no identity token";
    co_return co_await exchange("/auth/apple", "identityToken", *identityToken, "apple", "apple sign-in failed: ");
}

Task<std::optional<std::string>> AuthService::googleFlow(GoogleConfig config)
{
    const auto verifier = randomToken(64);
    const auto state = randomToken(24);
    if (!verifier || !state) co_return "google sign-in failed: no secure random bytes were available";
    const std::string url = endpoint(googleAuthBaseKey, "https://accounts.google.com", "/o/oauth2/v2/auth") + "?" +
                            queryString({{"client_id", config.clientID},
                                         {"redirect_uri", googleRedirectURI(config)},
                                         {"response_type", "code"},
                                         {"scope", "openid email"},
                                         {"code_challenge", codeChallenge(*verifier)},
                                         {"code_challenge_method", "S256"},
                                         {"state", *state},
                                         {"audience", config.serverClientID},
                                         {"prompt", "select_account"}});
    const WebSessionResult session = co_await runWebSession(url, config.scheme, *state);
    if (std::holds_alternative<WebSessionCancelled>(session)) co_return std::nullopt;
    if (const auto* error = std::get_if<UrlError>(&session))
        co_return failureMessage(*error, "google sign-in failed: ");

    const auto callback = AuthCallbackURL::parse(std::get<std::string>(session));
    const QueryItem* code = callback ? callback->firstItem("code") : nullptr;
    if (!callback || !itemEquals(*callback, "state", *state) || !code || !code->value)
        co_return "google returned no code";

    HttpRequest tokenRequest = googleTokenRequest(config, *code->value, *verifier);
    const auto answer = co_await send(std::move(tokenRequest));
    if (!answer) co_return failureMessage(answer.failure(), "google sign-in failed: ");
    const auto idToken = googleIdentityToken(*answer);
    if (!idToken) co_return "google token exchange failed: " + firstCharacters(utf8OrEmpty(answer->body), 200);
    co_return co_await exchange("/auth/google", "idToken", *idToken, "google", "google sign-in failed: ");
}

HttpRequest AuthService::googleTokenRequest(const GoogleConfig& config, const std::string& code,
                                            const std::string& verifier) const
{
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint(googleTokenBaseKey, "https://oauth2.googleapis.com", "/token");
    request.timeout = exchangeTimeout;
    request.setHeader("Content-Type", "application/x-www-form-urlencoded");
    request.body = formPairs({{"code", code},
                              {"client_id", config.clientID},
                              {"redirect_uri", googleRedirectURI(config)},
                              {"grant_type", "authorization_code"},
                              {"code_verifier", verifier},
                              {"audience", config.serverClientID}});
    return request;
}

std::optional<std::string> AuthService::googleIdentityToken(const HttpResponse& answer)
{
    if (answer.status != 200) return std::nullopt;
    const auto tokens = parseJson(answer.body);
    if (!tokens || !tokens->is_object()) return std::nullopt;
    const auto idToken = tokens->find("id_token");
    if (idToken == tokens->end() || !idToken->is_string()) return std::nullopt;
    return idToken->get<std::string>();
}

Task<std::optional<std::string>> AuthService::exchange(std::string path, std::string key, std::string token,
                                                       std::string provider, std::string failurePrefix)
{
    const auto result = co_await sendIdentityToken(std::move(path), std::move(key), std::move(token));
    if (!result) co_return failureMessage(result.failure(), failurePrefix);
    applyAuthResult(*result, provider); // reports a missing account itself
    co_return std::nullopt;
}

std::optional<std::string> AuthService::failureMessage(const BackendFailure& failure, const std::string& prefix) const
{
    if (isCancellation(failure) || flowCancel_.cancelled()) return std::nullopt;
    return prefix + describe(failure);
}

Task<WebSessionResult> AuthService::runWebSession(std::string url, std::string scheme, std::string state)
{
    // A newer session replaces the one still waiting, which ends as if it were closed.
    if (auto previous = std::exchange(webSession_, nullptr)) previous->completion.complete(WebSessionCancelled{});
    auto session = std::make_shared<WebSession>(WebSession{std::move(scheme), std::move(state), {}});
    // The page's address, state included, goes on the browser's command line, which other users
    // of this computer can read. That is accepted: the state only lets a callback end this
    // sign-in, once, while it waits, and the identity it carries still has to be exchanged.
    if (!environment_.openBrowser(url))
        co_return UrlError{UrlErrorCode::cannotConnectToHost, "the web browser could not be opened"};
    webSession_ = session;

    MainExecutor& executor = mainExecutor();
    const TimerId timeout =
        executor.postAfter(environment_.signInTimeout, [completion = session->completion]() mutable {
            completion.complete(UrlError{UrlErrorCode::timedOut, "the sign-in page gave no answer in time"});
        });
    auto cancelled = flowCancel_.token().onCancel([completion = session->completion, &executor]() mutable {
        executor.post([completion]() mutable { completion.complete(WebSessionCancelled{}); });
    });
    WebSessionResult result = co_await session->completion.value();
    executor.cancelTimer(timeout);
    if (webSession_ == session) webSession_.reset();
    co_return result;
}

bool AuthService::handleCallbackURL(const std::string& url)
{
    const auto scheme = urlScheme(url);
    if (!webSession_ || !scheme || scheme != urlScheme(webSession_->scheme + ":")) {
        // The URL itself may carry tokens, so it is not written out.
        diagnose("auth", "ignored a callback URL: no sign-in is waiting for it");
        return false;
    }
    // A callback of another (earlier, or forged) sign-in must not end the one that waits.
    const auto callback = AuthCallbackURL::parse(url);
    const QueryItem* state = callback ? callback->firstItem("state") : nullptr;
    if (state && state->value != webSession_->state) {
        diagnose("auth", "ignored a callback URL of another sign-in");
        return false;
    }
    const auto session = std::exchange(webSession_, nullptr);
    session->completion.complete(url);
    return true;
}

void AuthService::cancelSignIn()
{
    flowCancel_.cancel();
}

Task<BackendResult<HttpResponse>> AuthService::send(HttpRequest request)
{
    // Named first: a temporary with captures made inside the awaited expression is destroyed twice by g++ 12.
    auto transfer = [request = std::move(request)](std::stop_token stop) {
        return HttpSession::shared().send(request, stop);
    };
    const CancelToken cancel = flowCancel_.token();
    auto answer = co_await offload(WorkPriority::userInitiated, cancel, std::move(transfer));
    co_return answer;
}

Task<BackendResult<AuthService::AuthResult>> AuthService::sendIdentityToken(std::string path, std::string key,
                                                                            std::string token)
{
    HttpRequest request =
        backendRequest("POST", path, Json{{key, token}, {"client_platform", clientPlatform}}, exchangeTimeout);
    co_return parseAuthResult(co_await send(std::move(request)));
}

BackendResult<AuthService::AuthResult> AuthService::parseAuthResult(const BackendResult<HttpResponse>& answer)
{
    if (!answer) return answer.failure();
    if (answer->status != 200) return BackendError::httpError(answer->status, utf8OrEmpty(answer->body));
    const auto body = parseJson(answer->body);
    if (!body) return DecodingError{"", "the answer is not JSON"};
    const auto status = body->is_object() ? body->find("status") : Json::const_iterator{};
    if (!body->is_object() || status == body->end() || !status->is_string())
        return UrlError{UrlErrorCode::cannotParseResponse, "the answer has no status"};

    AuthResult result{status->get<std::string>(), std::nullopt, std::nullopt, std::nullopt};
    if (const auto userId = body->find("userId"); userId != body->end() && userId->is_number_integer())
        result.userId = userId->is_number_unsigned() && userId->get<std::uint64_t>() > INT64_MAX
                            ? std::nullopt
                            : std::optional(userId->get<std::int64_t>());
    if (const auto access = body->find("accessState"); access != body->end() && access->is_string())
        result.accessState = access->get<std::string>();
    if (const auto token = body->find("accountToken"); token != body->end() && token->is_string())
        result.accountToken = token->get<std::string>();
    return result;
}

void AuthService::applyAuthResult(const AuthResult& result, const std::string& provider)
{
    if (!result.userId) {
        setLastError("the server returned no account");
        return;
    }
    const std::string userId = std::to_string(*result.userId);
    SettingsStore& defaults = environment_.storage.defaults;
    KeychainAccount::store(userId, result.accountToken, environment_.storage);
    defaults.set(accountKeys::signInProvider, provider);
    const bool waitlisted = result.accessState == "waitlisted";
    defaults.set(accountKeys::accessState, waitlisted ? "waitlisted" : "active");
    setState(waitlisted ? AuthState::waitlisted(userId) : AuthState::signedIn(userId));
    KeychainAccount::saveFromDefaults(environment_.storage);
}

Task<bool> AuthService::recoverAfterForbidden(BackendFailure error)
{
    SettingsStore& defaults = environment_.storage.defaults;
    const auto* refusal = std::get_if<BackendError>(&error);
    if (!refusal || refusal->which() != BackendError::Case::httpError || refusal->status() != 403 ||
        !defaults.stringValue(accountKeys::accountToken) || didAttemptRecovery_)
        co_return false;
    didAttemptRecovery_ = true;
    defaults.remove(accountKeys::accountToken);
    KeychainAccount::saveFromDefaults(environment_.storage);
    if (!state_.hasAccount()) co_return false;

    // Named first: a lambda with captures made inside the awaited expression is destroyed twice by g++ 12.
    auto request = [fetch = environment_.fetchBalance, userId = state_.userId()] { return fetch(userId); };
    const auto balance = co_await offload(WorkPriority::userInitiated, std::move(request));
    co_return balance.ok() && defaults.stringValue(accountKeys::accountToken).has_value();
}

void AuthService::signOut()
{
    KeychainAccount::clear(environment_.storage);
    setState(AuthState::signedOut());
}

void AuthService::forgetUnknownAccount(const std::string& userId)
{
    if (!state_.hasAccount() || state_.userId() != userId) return;
    setLastError("the server no longer knows this account · sign in again");
    signOut();
}

std::string AuthService::formPairs(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::string form;
    for (const auto& [key, value] : fields) {
        if (!form.empty()) form += '&';
        form += key + "=" + percentEncodedAlphanumeric(value);
    }
    return form;
}

} // namespace oxel
