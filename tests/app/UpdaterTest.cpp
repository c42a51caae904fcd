#include "app/Updater.h"

#include "async/ManualLoop.h"
#include "platform/BuildInfo.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>

namespace oxel {
namespace {

TEST(UpdateFeed, ReadsOnlyWellFormedFeeds)
{
    auto feed = parseUpdateFeed(R"({"version": "1.4.0", "build": "140", "page": "https://oxel.pro/get"})");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->version, "1.4.0");
    EXPECT_EQ(feed->build, "140");
    EXPECT_EQ(feed->page, "https://oxel.pro/get");

    const char* refused[] = {
        "",
        "[]",
        "not json",
        R"({"version": "1.4.0", "build": "140"})",
        R"({"version": 1.4, "build": "140", "page": "https://a"})",
        R"({"version": "1.4.0", "build": 140, "page": "https://a"})",
        R"({"version": "1.4.0", "build": "140", "page": "http://a"})",
        R"j({"version": "1.4.0", "build": "140", "page": "javascript:alert(1)"})j",
        R"({"version": "1.4.0", "build": "140", "page": "https://a b"})",
        R"({"version": "1..4", "build": "140", "page": "https://a"})",
        R"({"version": "1.4-beta", "build": "140", "page": "https://a"})",
        R"({"version": "1.4", "build": "-1", "page": "https://a"})",
    };
    for (const char* bytes : refused) EXPECT_FALSE(parseUpdateFeed(bytes)) << bytes;

    std::string padded = R"({"version": "1.4.0", "build": "140", "page": "https://a", "x": ")" +
                         std::string(maxUpdateFeedBytes, 'x') + "\"}";
    EXPECT_FALSE(parseUpdateFeed(padded));
}

TEST(UpdateFeed, ReleasesCompareByVersionNumbersThenBuild)
{
    EXPECT_GT(compareReleases("1.10", "1", "1.9", "99"), 0);
    EXPECT_EQ(compareReleases("1.4", "140", "1.4.0", "140"), 0);
    EXPECT_LT(compareReleases("1.4.0", "139", "1.4.0", "140"), 0);
    EXPECT_LT(compareReleases("0.9.9", "999", "1", "0"), 0);
    EXPECT_GT(compareReleases("2", "1", "not a version", "x"), 0);
}

// The windows of the updater, written down instead of shown.
struct ScriptedWindows final : UpdaterWindows {
    std::vector<std::string> shown;
    std::function<void()> download;

    void showChecking() override { shown.push_back("checking"); }
    void showNewest(const std::string& version) override { shown.push_back("newest " + version); }
    void showAvailable(const std::string& version, std::function<void()> action) override
    {
        shown.push_back("available " + version);
        download = std::move(action);
    }
    void showFailed(const std::string& message) override { shown.push_back("failed " + message); }
    void showPackageManaged() override { shown.push_back("package managed"); }
};

// A feed on loopback whose answer each test sets.
class FeedServer {
public:
    FeedServer()
    {
        http_.Get("/feed", [this](const httplib::Request&, httplib::Response& response) {
            ++requests;
            if (delay.count()) std::this_thread::sleep_for(delay);
            response.set_content(body, "application/json");
        });
        port_ = http_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { http_.listen_after_bind(); });
        // Stopping a server that has not started listening yet would leave it listening.
        while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FeedServer()
    {
        http_.stop();
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/feed"; }

    std::string body;
    std::chrono::milliseconds delay{0};
    std::atomic<int> requests{0};

private:
    httplib::Server http_;
    int port_ = 0;
    std::thread thread_;
};

std::string feedOf(const std::string& version, const std::string& build)
{
    return R"({"version": ")" + version + R"(", "build": ")" + build + R"(", "page": "https://oxel.pro/get"})";
}

class UpdaterTest : public ::testing::Test {
protected:
    Updater::Environment environment(std::optional<std::string> feedURL)
    {
        std::map<std::string, std::string, std::less<>> values{{"CFBundleShortVersionString", "1.3.0"},
                                                               {"CFBundleVersion", "130"}};
        if (feedURL) values["UpdateFeedURL"] = *feedURL;
        info_ = std::make_unique<BuildInfo>(values);
        return {
            info_.get(),
            [](const HttpRequest& request, std::stop_token stop) { return HttpSession::shared().send(request, stop); },
            [this](const std::string& url) {
                opened.push_back(url);
                return true;
            }};
    }

    // A check the person asked for, run to its end.
    std::vector<std::string> checked(const std::string& body)
    {
        server.body = body;
        ScriptedWindows windows;
        Updater updater(windows, environment(server.url()));
        updater.checkForUpdates();
        EXPECT_FALSE(updater.canCheckForUpdates());
        EXPECT_TRUE(loop.runUntil([&] { return updater.canCheckForUpdates(); }));
        return windows.shown;
    }

    ManualLoop loop;
    FeedServer server;
    std::vector<std::string> opened;
    std::unique_ptr<BuildInfo> info_;
};

TEST_F(UpdaterTest, ACheckAskedForShowsItsOutcome)
{
    using Shown = std::vector<std::string>;
    EXPECT_EQ(checked(feedOf("1.4.0", "140")), (Shown{"checking", "available 1.4.0"}));
    EXPECT_EQ(checked(feedOf("1.3.0", "131")), (Shown{"checking", "available 1.3.0"}));
    EXPECT_EQ(checked(feedOf("1.3.0", "130")), (Shown{"checking", "newest 1.3.0"}));
    EXPECT_EQ(checked(feedOf("1.2.9", "999")), (Shown{"checking", "newest 1.3.0"}));
    for (const std::string& bad : {std::string("{\"version\": "), feedOf("1.4.0", "x"),
                                   feedOf("1.4.0", "140") + std::string(maxUpdateFeedBytes, ' ')}) {
        Shown shown = checked(bad);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1], "failed the update service gave an answer oxel pro cannot read.");
    }
}

TEST_F(UpdaterTest, DownloadOpensTheReleasePage)
{
    server.body = feedOf("2.0", "200");
    ScriptedWindows windows;
    Updater updater(windows, environment(server.url()));
    updater.checkForUpdates();
    updater.checkForUpdates(); // dropped while the first runs
    ASSERT_TRUE(loop.runUntil([&] { return updater.canCheckForUpdates(); }));
    EXPECT_EQ(server.requests, 1);
    ASSERT_TRUE(windows.download);
    windows.download();
    EXPECT_EQ(opened, std::vector<std::string>{"https://oxel.pro/get"});
}

TEST_F(UpdaterTest, ASlowOrMissingFeedFailsTheCheck)
{
    HttpSession::setTimeScale(0.02); // the 10-s idle limit becomes 200 ms
    server.delay = std::chrono::milliseconds(1500);
    std::vector<std::string> slow = checked(feedOf("9.0", "900"));
    HttpSession::setTimeScale(1);
    ASSERT_EQ(slow.size(), 2u);
    EXPECT_TRUE(slow[1].starts_with("failed could not reach the update service")) << slow[1];

    ScriptedWindows windows;
    Updater updater(windows, environment("http://127.0.0.1:1/feed"));
    updater.checkForUpdates();
    ASSERT_TRUE(loop.runUntil([&] { return updater.canCheckForUpdates(); }));
    ASSERT_EQ(windows.shown.size(), 2u);
    EXPECT_TRUE(windows.shown[1].starts_with("failed ")) << windows.shown[1];
}

TEST_F(UpdaterTest, ScheduledChecksStayQuietUnlessANewerReleaseIsOut)
{
    server.body = feedOf("1.3.0", "130");
    ScriptedWindows windows;
    Updater updater(windows, environment(server.url()));
    updater.start();
    loop.advance(Updater::firstCheckDelay - std::chrono::seconds(1));
    EXPECT_EQ(server.requests, 0);
    ASSERT_TRUE(loop.runUntil([&] { return server.requests == 1 && updater.canCheckForUpdates(); }));
    EXPECT_TRUE(windows.shown.empty());

    server.body = feedOf("1.4.0", "140");
    loop.advance(Updater::checkInterval - std::chrono::seconds(2));
    EXPECT_EQ(server.requests, 1);
    ASSERT_TRUE(loop.runUntil([&] { return server.requests == 2 && updater.canCheckForUpdates(); }));
    EXPECT_EQ(windows.shown, std::vector<std::string>{"available 1.4.0"});
}

TEST_F(UpdaterTest, WithoutAFeedTheSystemsPackagesBringUpdates)
{
    ScriptedWindows windows;
    Updater updater(windows, environment(std::nullopt));
    EXPECT_TRUE(updater.packageManaged());
    updater.start();
    updater.checkForUpdates();
    EXPECT_TRUE(updater.canCheckForUpdates());
    EXPECT_EQ(windows.shown, std::vector<std::string>{"package managed"});
    loop.advance(std::chrono::hours(48));
    EXPECT_EQ(server.requests, 0);
}

} // namespace
} // namespace oxel
