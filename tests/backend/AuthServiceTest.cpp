#include "backend/AuthService.h"

#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "backend/AccountEndpoints.h"
#include "platform/InstanceChannel.h"
#include "platform/JsonFields.h"
#include "support/LocalBackendFixture.h"
#include "support/ScriptedBrowser.h"
#include "support/SecretServiceGate.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace oxel {
void PrintTo(const AuthState& state, std::ostream* out)
{
    const char* names[] = {"signedIn", "waitlisted", "signedOut"};
    *out << names[static_cast<int>(state.which())] << "(" << state.userId() << ")";
}

namespace {

using namespace std::chrono_literals;
using testing::ScriptedBrowser;
using testing::TemporaryFolder;

// Makes the local backend answer requests under `path` with `status` (0: as usual) and `answer`.
local::LocalFaults faultsAt(std::string path, int status, std::optional<std::string> answer = std::nullopt,
                            int times = -1)
{
    local::LocalFaults faults;
    faults.pathPrefix = std::move(path);
    faults.status = status;
    faults.answer = std::move(answer);
    faults.times = times;
    return faults;
}

std::string textOf(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sign-in against the local backend, which also serves the development pages of both providers,
// with a scripted browser and the application's single-instance socket, on a virtual clock.
class AuthServiceTest : public testing::LocalBackendTest {
protected:
    void SetUp() override
    {
        LocalBackendTest::SetUp();
        forgetAccount();
        auto listening = InstanceChannel::listen(folder / "instance",
                                                 [this](std::vector<std::string> arguments, InstanceChannel::Hold) {
                                                     loop.post([this, arguments] {
                                                         for (const auto& url : arguments)
                                                             service().handleCallbackURL(url);
                                                     });
                                                 });
        ASSERT_EQ(listening.outcome, InstanceChannel::Outcome::listening) << listening.error;
        channel = std::move(listening.channel);
    }
    void TearDown() override
    {
        scope.reset();
        channel.reset();
        service_.reset();
        SecretStore::remove(storage().item);
        LocalBackendTest::TearDown();
    }

    BuildInfo buildInfo(std::map<std::string, std::string, std::less<>> overrides = {})
    {
        const std::string base = backend().baseURL();
        std::map<std::string, std::string, std::less<>> values{
            {"AppleWebServicesID", "pro.oxel.dev.signin"},
            {"AppleWebRedirectURL", base + "/apple/return"},
            {"AppleAuthBaseURL", base},
            {"GoogleOAuthClientID", "dev-client.apps"},
            {"GoogleOAuthServerClientID", "dev-server.apps"},
            {"GoogleOAuthURLScheme", "pro.oxel.test-google"},
            {"GoogleAuthBaseURL", base},
            {"GoogleTokenBaseURL", base},
        };
        for (auto& [key, value] : overrides) values[key] = value;
        return BuildInfo(values);
    }

    AccountStorage storage()
    {
        return {
            SettingsStore::shared(),
            {std::string("oxel.test.") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), "account"}};
    }

    AuthService& service()
    {
        if (!service_) start();
        return *service_;
    }
    void start(std::map<std::string, std::string, std::less<>> overrides = {})
    {
        info = std::make_unique<BuildInfo>(buildInfo(std::move(overrides)));
        service_ = std::make_unique<AuthService>(AuthService::Environment{
            storage(), info.get(), [this](const std::string& url) { return browser.open(url); },
            [](const std::string& userId) { return oxel::fetchBalance(userId); }});
    }

    // Runs one flow to its end.
    void run(Task<void> flow)
    {
        bool finished = false;
        scope->spawn([](Task<void> task, bool& done) -> Task<void> {
            co_await std::move(task);
            done = true;
        }(std::move(flow), finished));
        ASSERT_TRUE(loop.runUntil([&] { return finished; }));
        EXPECT_FALSE(service().busy());
        EXPECT_FALSE(browser.problem()) << *browser.problem();
    }
    void signInWithApple() { run(service().signInWithApple()); }
    void signInWithGoogle() { run(service().signInWithGoogle()); }

    // The requests to exactly this path (the prefix match of the fixture also finds the redirect page).
    std::vector<local::ReceivedRequest> requestsAt(const std::string& path) const
    {
        auto matching = requestsTo(path);
        std::erase_if(matching, [&](const auto& request) { return request.path != path; });
        return matching;
    }

    std::string defaultText(std::string_view key)
    {
        return SettingsStore::shared().stringValue(key).value_or("<absent>");
    }

    ManualLoop loop;
    TemporaryFolder folder;
    std::unique_ptr<InstanceChannel> channel;
    ScriptedBrowser browser{folder / "instance"};
    std::unique_ptr<BuildInfo> info;
    std::unique_ptr<AuthService> service_;
    std::unique_ptr<TaskScope> scope = std::make_unique<TaskScope>();
};

TEST_F(AuthServiceTest, AppleSignInGoesThroughTheBrowserTheRedirectPageAndTheSocket)
{
    std::vector<bool> busySeen;
    auto busyWatch = service().busyChanged.connect([&](bool busy) { busySeen.push_back(busy); });
    signInWithApple();

    ASSERT_EQ(service().state().which(), AuthState::Case::signedIn);
    EXPECT_EQ(service().lastError(), std::nullopt);
    EXPECT_EQ(busySeen, (std::vector<bool>{true, false}));
    EXPECT_EQ(defaultText("userId"), service().state().userId());
    EXPECT_EQ(defaultText("signInProvider"), "apple");
    EXPECT_EQ(defaultText("accessState"), "active");
    const auto account = backend().state().account(std::stoll(service().state().userId()));
    ASSERT_TRUE(account);
    EXPECT_EQ(defaultText("accountToken"), account->token);

    const auto opened = browser.openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].find(backend().baseURL() + "/auth/authorize?client_id=pro.oxel.dev.signin&redirect_uri="), 0u);
    EXPECT_NE(opened[0].find("&response_type=code%20id_token&response_mode=form_post&scope=name%20email&state="),
              std::string::npos);
    const auto exchanges = requestsAt("/auth/apple");
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(Json::parse(exchanges[0].body),
              (Json{{"identityToken", "dev-apple.ada@example.com"}, {"client_platform", "macos"}}));
    EXPECT_FALSE(exchanges[0].authorization);
}

TEST_F(AuthServiceTest, GoogleSignInExchangesTheCodeWithItsVerifier)
{
    browser.subject = "grace@example.com";
    signInWithGoogle();

    ASSERT_EQ(service().state().which(), AuthState::Case::signedIn) << service().lastError().value_or("");
    EXPECT_EQ(defaultText("signInProvider"), "google");
    const auto opened = browser.openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(
        opened[0].find("/o/oauth2/v2/auth?client_id=dev-client.apps&redirect_uri=pro.oxel.test-google:/oauthredirect"
                       "&response_type=code&scope=openid%20email&code_challenge="),
        std::string::npos)
        << opened[0];
    EXPECT_NE(opened[0].find("&code_challenge_method=S256&state="), std::string::npos);
    EXPECT_NE(opened[0].find("&audience=dev-server.apps&prompt=select_account"), std::string::npos);

    const auto tokenRequests = requestsAt("/token");
    ASSERT_EQ(tokenRequests.size(), 1u);
    EXPECT_EQ(tokenRequests[0].contentType, "application/x-www-form-urlencoded");
    EXPECT_NE(tokenRequests[0].body.find("redirect_uri=pro%2Eoxel%2Etest%2Dgoogle%3A%2Foauthredirect"),
              std::string::npos);
    const auto exchanges = requestsAt("/auth/google");
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(Json::parse(exchanges[0].body)["idToken"], "dev-google.grace@example.com");
}

TEST_F(AuthServiceTest, ClosingEitherPageEndsQuietly)
{
    browser.choice = "cancel";
    signInWithApple();
    EXPECT_EQ(service().lastError(), std::nullopt);
    EXPECT_EQ(service().state(), AuthState::signedOut());

    // Google's page answers a cancel with an error and no code.
    signInWithGoogle();
    EXPECT_EQ(service().lastError(), "google returned no code");
    EXPECT_EQ(service().state(), AuthState::signedOut());
    EXPECT_FALSE(SettingsStore::shared().contains("userId"));
}

std::string withState(const std::string& url, const std::string& state)
{
    return std::regex_replace(url, std::regex("state=[^&]*"), "state=" + state);
}

TEST_F(AuthServiceTest, ACallbackWithAnotherStateIsIgnoredAndTheSignInWaitsOn)
{
    browser.answers = false;
    const auto flows = {
        std::pair<std::string, std::function<Task<void>()>>{"oxel:/auth/apple?state=forged&id_token=a.b",
                                                            [&] { return service().signInWithApple(); }},
        {"pro.oxel.test-google:/oauthredirect?state=forged&code=c", [&] { return service().signInWithGoogle(); }}};
    for (const auto& [stray, signIn] : flows) {
        bool finished = false;
        scope->spawn([](Task<void> flow, bool& done) -> Task<void> {
            co_await std::move(flow);
            done = true;
        }(signIn(), finished));
        ASSERT_TRUE(loop.runUntil([&] { return service().busy() && !browser.openedURLs().empty(); }));
        EXPECT_FALSE(service().handleCallbackURL(stray));
        EXPECT_FALSE(service().handleCallbackURL(withState(stray, "")));
        loop.advance(1min);
        EXPECT_FALSE(finished) << stray;
        EXPECT_TRUE(service().busy());
        service().cancelSignIn();
        ASSERT_TRUE(loop.runUntil([&] { return finished; }));
    }
    EXPECT_EQ(service().state(), AuthState::signedOut());
    EXPECT_TRUE(requestsAt("/auth/apple").empty()) << "no identity token reached the backend";
    EXPECT_TRUE(requestsAt("/token").empty());
}

TEST_F(AuthServiceTest, AppleErrorCallbacksAndEmptyOnes)
{
    browser.rewriteCallback = [](const std::string& url) {
        return url.substr(0, url.find('?')) + "?error=invalid_request";
    };
    signInWithApple();
    EXPECT_EQ(service().lastError(), "apple sign-in failed: invalid_request");

    browser.rewriteCallback = [](const std::string& url) { return url.substr(0, url.find('?')); };
    signInWithApple();
    EXPECT_EQ(service().lastError(), "apple returned nothing");

    // The page's own state comes back with the cancel.
    browser.rewriteCallback = [](const std::string& url) {
        std::smatch state;
        std::regex_search(url, state, std::regex("state=[^&]*"));
        return url.substr(0, url.find('?')) + "?" + state.str() + "&error=user_cancelled_authorize";
    };
    signInWithApple();
    EXPECT_EQ(service().lastError(), std::nullopt);
}

TEST_F(AuthServiceTest, AFailedExchangeKeepsTheAccountThatWasThere)
{
    SettingsStore::shared().set("userId", "77");
    SettingsStore::shared().set("accountToken", "kept");
    backend().setFaults(faultsAt("/auth/apple", 500, std::nullopt, 1));
    signInWithApple();
    EXPECT_EQ(service().lastError(), "apple sign-in failed: server error 500: {\"error\":\"injected failure\"}");
    EXPECT_EQ(defaultText("userId"), "77");
    EXPECT_EQ(defaultText("accountToken"), "kept");

    backend().setFaults(faultsAt("/auth/google", 0, R"({"status":"ok","userId":"42"})"));
    signInWithGoogle();
    EXPECT_EQ(service().lastError(), "the server returned no account");
    EXPECT_EQ(defaultText("userId"), "77");
}

TEST_F(AuthServiceTest, ATokenEndpointRefusalShowsTheStartOfItsAnswer)
{
    const std::string longBody = "{\"error\":\"invalid_grant\",\"pad\":\"" + std::string(480, 'x') + "\"}";
    backend().setFaults(faultsAt("/token", 400, longBody));
    signInWithGoogle();
    EXPECT_EQ(service().lastError(), "google token exchange failed: " + longBody.substr(0, 200));

    backend().setFaults(faultsAt("/token", 0, R"({"access_token":"a"})"));
    signInWithGoogle();
    EXPECT_EQ(service().lastError(), R"(google token exchange failed: {"access_token":"a"})");
}

TEST_F(AuthServiceTest, ASignInTheBrowserNeverAnswersCanBeCancelled)
{
    browser.answers = false;
    bool finished = false;
    scope->spawn([](AuthService& s, bool& done) -> Task<void> {
        co_await s.signInWithApple();
        done = true;
    }(service(), finished));
    ASSERT_TRUE(loop.runUntil([&] { return !browser.openedURLs().empty(); }));
    EXPECT_TRUE(service().busy());
    loop.advance(5min);
    service().cancelSignIn();
    ASSERT_TRUE(loop.runUntil([&] { return finished; }));
    EXPECT_FALSE(service().busy());
    EXPECT_EQ(service().lastError(), std::nullopt);
    EXPECT_EQ(loop.elapsed(), 5min);
}

TEST_F(AuthServiceTest, ASecondSignInReplacesTheWaitingOneAndStaysBusyUntilItEnds)
{
    browser.answers = false;
    bool appleFinished = false;
    bool googleFinished = false;
    const auto flow = [](Task<void> task, bool& done) -> Task<void> {
        co_await std::move(task);
        done = true;
    };
    scope->spawn(flow(service().signInWithApple(), appleFinished));
    ASSERT_TRUE(loop.runUntil([&] { return browser.openedURLs().size() == 1; }));
    scope->spawn(flow(service().signInWithGoogle(), googleFinished));
    ASSERT_TRUE(loop.runUntil([&] { return appleFinished && browser.openedURLs().size() == 2; }));
    EXPECT_FALSE(googleFinished);
    EXPECT_TRUE(service().busy()) << "the Google sign-in still waits";
    EXPECT_EQ(service().lastError(), std::nullopt) << "the replaced sign-in ends without a message";

    service().cancelSignIn();
    ASSERT_TRUE(loop.runUntil([&] { return googleFinished; }));
    EXPECT_FALSE(service().busy());
}

TEST_F(AuthServiceTest, ASignInTheBrowserNeverAnswersTimesOutAfterTenMinutes)
{
    browser.answers = false;
    signInWithGoogle();
    EXPECT_EQ(loop.elapsed(), 10min);
    ASSERT_TRUE(service().lastError());
    EXPECT_EQ(service().lastError()->rfind("google sign-in failed: ", 0), 0u);
    EXPECT_NE(service().lastError()->find("-1001"), std::string::npos) << "a time-out";

    EXPECT_FALSE(service().handleCallbackURL("pro.oxel.test-google:/oauthredirect?state=s&code=c"))
        << "a callback after the end is refused";
    loop.advance(1s);
    EXPECT_EQ(service().state(), AuthState::signedOut());
}

TEST_F(AuthServiceTest, ACallbackCountsOnce)
{
    browser.replaysCallback = true;
    signInWithApple();
    ASSERT_EQ(service().state().which(), AuthState::Case::signedIn);
    const auto handed = browser.handedOver();
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(requestsAt("/auth/apple").size(), 1u);
    EXPECT_FALSE(service().handleCallbackURL(handed[0].first));
}

TEST_F(AuthServiceTest, ABrowserThatWillNotOpenIsAFailure)
{
    browser.failsToOpen = true;
    signInWithApple();
    ASSERT_TRUE(service().lastError());
    EXPECT_EQ(service().lastError()->rfind("apple sign-in failed: ", 0), 0u);
    EXPECT_NE(service().lastError()->find("-1004"), std::string::npos);
}

TEST_F(AuthServiceTest, AnUnconfiguredProviderOnlySaysSo)
{
    start({{"GoogleOAuthClientID", "$(GOOGLE_CLIENT_ID)"}, {"AppleWebRedirectURL", ""}});
    EXPECT_FALSE(service().googleConfig());
    EXPECT_FALSE(service().appleConfig());
    run(service().signInWithGoogle());
    EXPECT_EQ(service().lastError(), "google sign-in is not configured for this build");
    run(service().signInWithApple());
    EXPECT_EQ(service().lastError(), "apple sign-in is not configured for this build");
    EXPECT_TRUE(browser.openedURLs().empty());
}

TEST_F(AuthServiceTest, WaitlistedAccountsAndTheStateAtLaunch)
{
    backend().setFaults(
        faultsAt("/auth/apple", 0, R"({"status":"ok","userId":42,"accessState":"waitlisted","accountToken":"t42"})"));
    signInWithApple();
    EXPECT_EQ(service().state(), AuthState::waitlisted("42"));
    EXPECT_EQ(defaultText("accessState"), "waitlisted");

    backend().setFaults(faultsAt("/auth/apple", 0, R"({"status":"ok","userId":42})"));
    signInWithApple();
    EXPECT_EQ(service().state(), AuthState::signedIn("42"));
    EXPECT_EQ(defaultText("accessState"), "active");
    EXPECT_EQ(defaultText("accountToken"), "t42") << "an answer without a token keeps the saved one";

    SettingsStore::shared().set("accessState", "waitlisted");
    service_.reset();
    EXPECT_EQ(service().state(), AuthState::waitlisted("42"));
    SettingsStore::shared().set("userId", "");
    service_.reset();
    EXPECT_EQ(service().state(), AuthState::signedOut());
}

TEST_F(AuthServiceTest, SignOutForgetsTheAccount)
{
    signInWithApple();
    service().signOut();
    EXPECT_EQ(service().state(), AuthState::signedOut());
    for (const char* key : {"userId", "accountToken", "signInProvider", "accessState"})
        EXPECT_FALSE(SettingsStore::shared().contains(key)) << key;
}

Task<void> storeRecovery(AuthService& service, BackendFailure error, std::optional<bool>& result)
{
    result = co_await service.recoverAfterForbidden(std::move(error));
}

TEST_F(AuthServiceTest, RecoveryAfterARefusedTokenGetsANewOneOnce)
{
    signInWithApple();
    const std::string refused = defaultText("accountToken");
    const auto recover = [&](BackendFailure error) {
        std::optional<bool> result;
        scope->spawn(storeRecovery(service(), std::move(error), result));
        EXPECT_TRUE(loop.runUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    };

    EXPECT_FALSE(recover(BackendError::httpError(500, "")));
    EXPECT_FALSE(recover(UrlError{UrlErrorCode::timedOut, ""}));
    EXPECT_EQ(defaultText("accountToken"), refused) << "other failures change nothing";

    backend().forgetReceivedRequests();
    EXPECT_TRUE(recover(BackendError::httpError(403, "")));
    const auto balanceRequests = requestsTo("/credits/balance");
    ASSERT_EQ(balanceRequests.size(), 1u);
    EXPECT_FALSE(balanceRequests[0].authorization) << "the refused token is not sent again";
    EXPECT_NE(defaultText("accountToken"), refused);
    EXPECT_NE(defaultText("accountToken"), "<absent>");

    EXPECT_FALSE(recover(BackendError::httpError(403, ""))) << "once per launch";
}

TEST_F(AuthServiceTest, RecoveryNeedsAStoredToken)
{
    std::optional<bool> result;
    scope->spawn(storeRecovery(service(), BackendError::httpError(403, ""), result));
    ASSERT_TRUE(loop.runUntil([&] { return result.has_value(); }));
    EXPECT_FALSE(*result);
}

TEST(AuthServiceAnswers, ReadsTheSignInAnswerStrictly)
{
    const auto parse = [](long status, std::string body) {
        return AuthService::parseAuthResult(BackendResult<HttpResponse>(HttpResponse{status, std::move(body)}));
    };
    const auto full = parse(200, R"({"status":"ok","userId":42,"accessState":"active","accountToken":"t"})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->userId, 42);
    EXPECT_EQ(full->accountToken, "t");
    EXPECT_EQ(parse(200, R"({"status":"ok","userId":"42"})")->userId, std::nullopt) << "a text id is no id";
    EXPECT_EQ(parse(200, R"({"status":"ok","userId":18446744073709551615})")->userId, std::nullopt);
    EXPECT_EQ(parse(200, R"({"status":"ok","accessState":3})")->accessState, std::nullopt);

    const auto refused = parse(401, "\xff\xfe");
    ASSERT_TRUE(refused.backendError());
    EXPECT_EQ(*refused.backendError(), BackendError::httpError(401, "")) << "a body that is not UTF-8 reads as empty";
    EXPECT_TRUE(std::holds_alternative<DecodingError>(parse(200, "not json").failure()));
    for (const char* shapeless : {"[]", R"({"userId":42})", R"({"status":1})"}) {
        const auto failure = parse(200, shapeless);
        ASSERT_FALSE(failure) << shapeless;
        EXPECT_EQ(std::get<UrlError>(failure.failure()).code, UrlErrorCode::cannotParseResponse);
    }
}

TEST(AuthServiceAnswers, FormPairsEscapeEverythingButLettersAndDigits)
{
    EXPECT_EQ(AuthService::formPairs({{"code", "4/0A-b_c.d~e"}, {"redirect_uri", "x:/y"}, {"n", "é"}}),
              "code=4%2F0A%2Db%5Fc%2Ed%7Ee&redirect_uri=x%3A%2Fy&n=%C3%A9");
}

TEST(AuthServiceDesktopEntry, RegistersTheCallbackScheme)
{
    const std::string entry = textOf(std::filesystem::path(OXEL_SOURCE_DIR) / "resources" / "oxel-pro-url.desktop");
    EXPECT_NE(entry.find(std::string("x-scheme-handler/") + AuthService::appleCallbackScheme + ";"), std::string::npos);
    EXPECT_NE(entry.find("Exec=oxel-pro %u"), std::string::npos);
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST_F(AuthServiceTest, NoTokenReachesStandardError)
{
    ::testing::internal::CaptureStderr();
    signInWithApple();
    browser.replaysCallback = true;
    signInWithGoogle();
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(service().state().which(), AuthState::Case::signedIn);
    EXPECT_EQ(diagnostics.find("dev-apple."), std::string::npos) << diagnostics;
    EXPECT_EQ(diagnostics.find("dev-google."), std::string::npos) << diagnostics;
    EXPECT_EQ(diagnostics.find(defaultText("accountToken")), std::string::npos) << diagnostics;
    EXPECT_EQ(diagnostics.find("code="), std::string::npos) << diagnostics;
}

class AuthServiceWithSecretService : public AuthServiceTest {
protected:
    void SetUp() override
    {
        OXEL_REQUIRE_PRIVATE_SECRET_SERVICE();
        AuthServiceTest::SetUp();
    }
};

TEST_F(AuthServiceWithSecretService, TheNextLaunchBringsALostAccountBack)
{
    signInWithApple();
    const AuthState signedIn = service().state();
    const std::string token = defaultText("accountToken");
    service_.reset();
    forgetAccount();
    SettingsStore::shared().remove("signInProvider");
    SettingsStore::shared().remove("accessState");

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(service().state(), signedIn);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("oxel pro: the account came back from the Keychain\n"),
              std::string::npos);
    EXPECT_EQ(defaultText("accountToken"), token);
    EXPECT_EQ(defaultText("signInProvider"), "apple");
    EXPECT_EQ(defaultText("accessState"), "active");

    service().signOut();
    service_.reset();
    EXPECT_EQ(service().state(), AuthState::signedOut()) << "sign-out removed the secret-store copy too";
}

} // namespace
} // namespace oxel
