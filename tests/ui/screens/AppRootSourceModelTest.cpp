// The window's content on the real application model and sign-in service: signing in through the
// development Google page moves to the main screen and asks for the balance once; an account
// signed in at start asks nothing; a newer version demanded replaces the main screen.
#include "ui/screens/AppRootSource.h"

#include "platform/InstanceChannel.h"
#include "support/ModelFixture.h"
#include "support/ScriptedBrowser.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/screens/RootView.h"
#include "ui/screens/SignInView.h"

#include <QTest>

namespace oxel {
namespace {

class AppRootSourceModelTest : public testing::ModelTest {
protected:
    void SetUp() override
    {
        auto listening = InstanceChannel::listen(folder / "instance",
                                                 [this](std::vector<std::string> arguments, InstanceChannel::Hold) {
                                                     loop.post([this, arguments] {
                                                         for (const auto& url : arguments)
                                                             model->auth().handleCallbackURL(url);
                                                     });
                                                 });
        ASSERT_EQ(listening.outcome, InstanceChannel::Outcome::listening) << listening.error;
        channel = std::move(listening.channel);
    }
    void TearDown() override
    {
        root.reset();
        source.reset();
        model.reset();
        channel.reset();
    }

    // The model with the development Google sign-in at the local backend, and the window's content.
    void build()
    {
        const std::string base = backend.baseURL();
        info = std::make_unique<BuildInfo>(
            std::map<std::string, std::string, std::less<>>{{"CFBundleShortVersionString", "1.0"},
                                                            {"GoogleOAuthClientID", "dev-client.apps"},
                                                            {"GoogleOAuthServerClientID", "dev-server.apps"},
                                                            {"GoogleOAuthURLScheme", "oxel"},
                                                            {"GoogleAuthBaseURL", base},
                                                            {"GoogleTokenBaseURL", base}});
        AuthService::Environment auth = AuthService::Environment::standard();
        auth.buildInfo = info.get();
        auth.openBrowser = [this](const std::string& url) { return browser.open(url); };
        model = std::make_unique<AppModel>(ModelServices{defaults(), library, loop, auth, pool, HttpSession::shared(),
                                                         [](const std::string&) { return true; }, panels, control,
                                                         languageModel, folder / "originals"});
        source = std::make_unique<AppRootSource>(*model, model->auth(), AppRootSource::Shell{});
        root = std::make_unique<RootView>(*source);
        root->resize(1200, 800);
    }
    size_t balanceRequests() const { return requestsTo("/credits/balance").size(); }

    std::unique_ptr<InstanceChannel> channel;
    testing::ScriptedBrowser browser{folder / "instance"};
    std::unique_ptr<BuildInfo> info;
    std::unique_ptr<AppRootSource> source;
    std::unique_ptr<RootView> root;
};

TEST_F(AppRootSourceModelTest, SigningInThroughTheBrowserMovesToTheMainScreenAndAsksForTheBalanceOnce)
{
    signOut();
    build();
    ASSERT_EQ(root->screen(), RootView::Screen::signIn);
    auto* screen = qobject_cast<SignInView*>(root->screenWidget());
    ASSERT_NE(screen, nullptr);
    ASSERT_NE(screen->googleButton(), nullptr);
    EXPECT_EQ(screen->appleButton(), nullptr) << "only the configured provider is offered";

    QTest::mouseClick(screen->googleButton(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return root->screen() == RootView::Screen::main; })) << browser.problem().value_or("");
    ASSERT_TRUE(runUntil([&] { return balanceRequests() >= 1; }));
    loop.advance(std::chrono::seconds(2));
    EXPECT_EQ(balanceRequests(), 1u);
    EXPECT_TRUE(model->balance());
}

TEST_F(AppRootSourceModelTest, AnAccountSignedInAtStartShowsTheMainScreenAndAsksNothing)
{
    build();
    EXPECT_EQ(root->screen(), RootView::Screen::main);
    loop.advance(std::chrono::seconds(2));
    EXPECT_EQ(balanceRequests(), 0u);
}

TEST_F(AppRootSourceModelTest, ANewerVersionDemandedReplacesTheMainScreenWhilePhotographsDevelop)
{
    build();
    drop({writeJPEG("in/a.jpg")});
    model->process();
    ASSERT_EQ(root->screen(), RootView::Screen::main);
    const std::string body = R"({"proMinimumAppVersion": "99.0"})";
    auto config = AppConfig::parse(body);
    ASSERT_TRUE(config);
    model->applyConfig(*config, body);
    EXPECT_EQ(root->screen(), RootView::Screen::updateRequired);
    // Signing out keeps the update screen: it comes before every other.
    model->auth().signOut();
    EXPECT_EQ(root->screen(), RootView::Screen::updateRequired);
}

} // namespace
} // namespace oxel
