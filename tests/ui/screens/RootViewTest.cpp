// The window's content: which screen shows for each update flag and account state, the balance
// refresh on signing in, and the announcement laid over every screen.
#include "ui/screens/RootView.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/TextLabel.h"
#include "ui/screens/AnnouncementView.h"
#include "ui/screens/RootSource.h"
#include "ui/screens/SignInView.h"
#include "ui/screens/UpdateRequiredView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace oxel {
namespace {

// The values a model would publish, set by hand, and a count of every action asked for.
class ValuesRootSource : public RootSource {
public:
    bool update = false;
    std::optional<QVariantMap> message;
    AuthState state = AuthState::signedOut();
    bool busy = false;
    std::optional<QString> error;
    int balanceRefreshes = 0, updateChecks = 0, googleSignIns = 0;
    std::vector<QString> dismissedIds;
    std::vector<QUrl> opened;

    bool updateRequired() const override { return update; }
    std::optional<QVariantMap> announcement() const override { return message; }
    AuthState authState() const override { return state; }
    bool signInBusy() const override { return busy; }
    std::optional<QString> signInError() const override { return error; }
    bool appleConfigured() const override { return true; }
    bool googleConfigured() const override { return true; }
    void signInWithApple() override {}
    void signInWithGoogle() override { ++googleSignIns; }
    void checkForUpdates() override { ++updateChecks; }
    void dismissAnnouncement() override
    {
        dismissedIds.push_back(message ? message->value("id").toString() : QString());
        message.reset();
        publishChange();
    }
    void refreshBalance() override { ++balanceRefreshes; }
    void openURL(const QUrl& url) override { opened.push_back(url); }

    void set(auto change)
    {
        change(*this);
        publishChange();
    }
};

void clickOn(QWidget* widget, QPoint at = {})
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

TEST(RootViewTest, RoutesByUpdateFlagThenAccountState)
{
    using Case = AuthState::Case;
    struct Row {
        bool update;
        AuthState state;
        RootView::Screen expected;
    };
    const Row rows[] = {
        {true, AuthState::signedOut(), RootView::Screen::updateRequired},
        {true, AuthState::signedIn("7"), RootView::Screen::updateRequired},
        {false, AuthState::signedOut(), RootView::Screen::signIn},
        {false, AuthState::waitlisted("7"), RootView::Screen::signIn},
        {false, AuthState::signedIn("7"), RootView::Screen::main},
    };
    for (const Row& row : rows) {
        ValuesRootSource source;
        source.update = row.update;
        source.state = row.state;
        const RootView root(source);
        EXPECT_EQ(root.screen(), row.expected) << row.update << int(row.state.which() == Case::signedIn);
        EXPECT_EQ(RootView::route(row.update, row.state), row.expected);
    }
}

TEST(RootViewTest, SigningInMovesToTheMainScreenAndAsksForTheBalanceOnce)
{
    ValuesRootSource source;
    source.state = AuthState::waitlisted("7");
    RootView root(source);
    root.resize(900, 620);
    ASSERT_NE(qobject_cast<SignInView*>(root.screenWidget()), nullptr);

    source.set([](auto& s) { s.busy = true; });
    EXPECT_EQ(root.screen(), RootView::Screen::signIn);
    EXPECT_TRUE(qobject_cast<SignInView*>(root.screenWidget())->isBusy());

    source.set([](auto& s) {
        s.state = AuthState::signedIn("7");
        s.busy = false;
    });
    EXPECT_EQ(root.screen(), RootView::Screen::main);
    EXPECT_EQ(source.balanceRefreshes, 1);
    source.set([](auto& s) { s.error = std::nullopt; });
    EXPECT_EQ(source.balanceRefreshes, 1);
}

TEST(RootViewTest, AnAccountSignedInAtStartDoesNotAskForTheBalance)
{
    ValuesRootSource source;
    source.state = AuthState::signedIn("7");
    const RootView root(source);
    source.publishChange();
    EXPECT_EQ(root.screen(), RootView::Screen::main);
    EXPECT_EQ(source.balanceRefreshes, 0);
}

TEST(RootViewTest, ScreensAreMadeAfreshAndUpdateRequiredReplacesTheMainScreen)
{
    ValuesRootSource source;
    source.state = AuthState::signedIn("7");
    int mainScreensMade = 0;
    RootView root(source, [&] {
        ++mainScreensMade;
        return new QWidget;
    });
    QPointer<QWidget> firstMain = root.screenWidget();

    source.set([](auto& s) { s.state = AuthState::signedOut(); });
    source.set([](auto& s) { s.state = AuthState::signedIn("7"); });
    EXPECT_EQ(mainScreensMade, 2);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstMain.isNull());

    source.set([](auto& s) { s.update = true; });
    EXPECT_EQ(root.screen(), RootView::Screen::updateRequired);
    auto* update = qobject_cast<UpdateRequiredView*>(root.screenWidget());
    ASSERT_NE(update, nullptr);
    root.show();
    clickOn(update->updateButton());
    EXPECT_EQ(source.updateChecks, 1);
    EXPECT_EQ(root.screenWidget(), update);
}

TEST(RootViewTest, SignInButtonsReachTheSource)
{
    ValuesRootSource source;
    RootView root(source);
    root.resize(900, 620);
    root.show();
    clickOn(qobject_cast<SignInView*>(root.screenWidget())->googleButton());
    EXPECT_EQ(source.googleSignIns, 1);
}

TEST(AnnouncementViewTest, ReadsOnlyTextValuesAndOffersOnlyWebLinks)
{
    const AnnouncementView titleAndBody({{"title", "new looks"}, {"body", "three of them"}});
    EXPECT_EQ(titleAndBody.title()->text(), "new looks");
    EXPECT_EQ(titleAndBody.body()->text(), "three of them");
    EXPECT_EQ(titleAndBody.link(), nullptr);
    EXPECT_EQ(titleAndBody.okButton()->label(), "ok");

    const AnnouncementView empty(QVariantMap{});
    EXPECT_TRUE(empty.title()->text().isEmpty());
    EXPECT_TRUE(empty.body()->text().isEmpty());
    EXPECT_EQ(empty.link(), nullptr);
    EXPECT_NE(empty.okButton(), nullptr);

    const AnnouncementView numberTitle({{"title", 42}, {"body", "b"}});
    EXPECT_TRUE(numberTitle.title()->text().isEmpty());

    const auto linkFor = [](QVariant url, QVariant label) {
        return AnnouncementView::linkOf({{"linkURL", url}, {"linkLabel", label}});
    };
    EXPECT_EQ(linkFor("https://example.org/news", "read"), QUrl("https://example.org/news"));
    EXPECT_EQ(linkFor("HTTP://example.org", "read"), QUrl("http://example.org"));
    for (const char* refused : {"not a url", "", "javascript:alert(1)", "file:///etc/passwd", "oxel://signin",
                                "ftp://example.org/x", "https://", "https://exa mple.org"})
        EXPECT_EQ(linkFor(refused, "read"), std::nullopt) << refused;
    EXPECT_EQ(linkFor("https://example.org", ""), std::nullopt);
    EXPECT_EQ(linkFor("https://example.org", 3), std::nullopt);
    EXPECT_EQ(linkFor(QUrl("https://example.org"), "read"), std::nullopt);
}

TEST(AnnouncementViewTest, FollowingTheLinkOpensItAndDismisses)
{
    ValuesRootSource source;
    source.state = AuthState::signedIn("7");
    source.message =
        QVariantMap{{"id", "a1"}, {"title", "t"}, {"linkURL", "https://example.org/a"}, {"linkLabel", "more"}};
    RootView root(source);
    root.resize(900, 620);
    root.show();
    ASSERT_NE(root.announcement(), nullptr);
    clickOn(root.announcement()->link());
    EXPECT_EQ(source.opened, std::vector<QUrl>{QUrl("https://example.org/a")});
    EXPECT_EQ(source.dismissedIds, std::vector<QString>{"a1"});
    EXPECT_EQ(root.announcement(), nullptr);
}

TEST(AnnouncementViewTest, TheVeilTakesClicksAndOkDismisses)
{
    ValuesRootSource source;
    source.message = QVariantMap{{"id", "b2"}, {"title", "t"}, {"body", "b"}};
    RootView root(source);
    root.resize(900, 620);
    root.show();
    auto* signIn = qobject_cast<SignInView*>(root.screenWidget());
    const QPoint onGoogle = signIn->googleButton()->mapTo(&root, signIn->googleButton()->rect().center());
    QWidget* hit = root.childAt(onGoogle);
    ASSERT_NE(hit, nullptr);
    EXPECT_FALSE(signIn->isAncestorOf(hit) || hit == signIn);
    clickOn(root.announcement(), onGoogle);
    EXPECT_EQ(source.googleSignIns, 0);

    clickOn(root.announcement()->okButton());
    EXPECT_EQ(source.dismissedIds, std::vector<QString>{"b2"});
    EXPECT_EQ(root.announcement(), nullptr);
    clickOn(signIn->googleButton());
    EXPECT_EQ(source.googleSignIns, 1);
}

TEST(AnnouncementViewTest, AMessageOfMegabytesIsCutBeforeLayoutAndStaysOnItsCard)
{
    const QString word(12 << 20, QChar(u'm'));
    QString words;
    while (words.size() < (12 << 20)) words += QStringLiteral("paper ");
    ValuesRootSource source;
    source.message = QVariantMap{
        {"id", "c3"}, {"title", word}, {"body", words}, {"linkURL", "https://example.org"}, {"linkLabel", word}};
    QElapsedTimer shown;
    shown.start();
    RootView root(source);
    root.resize(900, 620);
    root.show();
    QApplication::processEvents();
    EXPECT_LT(shown.elapsed(), 2000);
    const AnnouncementView* view = root.announcement();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->link(), nullptr);
    EXPECT_EQ(view->title()->text(), word.left(120));
    EXPECT_EQ(view->body()->text(), words.left(1000));
    EXPECT_EQ(view->link()->label(), word.left(40));
    const QWidget* card = view->title()->parentWidget();
    EXPECT_TRUE(view->rect().contains(card->geometry()));
    for (const QWidget* part : {static_cast<const QWidget*>(view->title()), static_cast<const QWidget*>(view->body()),
                                static_cast<const QWidget*>(view->link())})
        EXPECT_TRUE(card->rect().contains(part->geometry())) << part->metaObject()->className();
    screenshots::capture(root, "announcement-megabytes-900x620");
}

TEST(RootViewScreenshots, AnnouncementOverEachScreen)
{
    const QVariantMap withLink{{"title", "three new looks"},
                               {"body", "the film looks arrived with this week's update. try them on a batch of "
                                        "portraits and tell us what you think."},
                               {"linkURL", "https://example.org/looks"},
                               {"linkLabel", "see the looks"}};
    const QVariantMap withoutLink{{"title", "maintenance tonight"}, {"body", "developing pauses for ten minutes."}};
    const std::pair<const char*, AuthState> accounts[] = {{"sign-in", AuthState::signedOut()},
                                                          {"main", AuthState::signedIn("7")}};
    for (const auto& [name, state] : accounts)
        for (const auto& [suffix, message] : {std::pair{"link", withLink}, std::pair{"no-link", withoutLink}}) {
            ValuesRootSource source;
            source.state = state;
            source.message = message;
            RootView root(source);
            for (const QSize size : {QSize(1200, 800), QSize(900, 620)}) {
                root.resize(size);
                root.show();
                screenshots::capture(
                    root,
                    QStringLiteral("announcement-%1-%2-%3x%4").arg(name, suffix).arg(size.width()).arg(size.height()));
            }
        }
    ValuesRootSource source;
    source.update = true;
    source.message = withoutLink;
    RootView root(source);
    root.resize(900, 620);
    root.show();
    screenshots::capture(root, "announcement-update-required-900x620");
}

} // namespace
} // namespace oxel
