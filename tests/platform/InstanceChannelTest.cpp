#include "platform/InstanceChannel.h"
#include "platform/AppFolders.h"
#include "platform/JsonFields.h"

#include "support/TemporaryFolder.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace oxel {
namespace {

using testing::TemporaryFolder;
using Arguments = std::vector<std::string>;

sockaddr_un unixAddress(const std::filesystem::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    return address;
}

class InstanceChannelTest : public ::testing::Test {
protected:
    InstanceChannel::ListenResult listen()
    {
        return InstanceChannel::listen(socketPath, [this](Arguments arguments, InstanceChannel::Hold hold) {
            std::lock_guard lock(mutex);
            if (keepHolds) holds.push_back(std::move(hold));
            received.push_back(std::move(arguments));
        });
    }
    // Kept by the handler when `keepHolds`, from the channel's thread.
    std::atomic<bool> keepHolds{false};
    std::vector<InstanceChannel::Hold> holds;
    std::vector<Arguments> receivedSoFar()
    {
        std::lock_guard lock(mutex);
        return received;
    }
    // Connects without the protocol's client, as a hostile or broken sender would.
    int rawConnection()
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = unixAddress(socketPath);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }

    TemporaryFolder folder;
    std::filesystem::path socketPath = folder / "run" / "instance";
    std::mutex mutex;
    std::vector<Arguments> received;
};

TEST_F(InstanceChannelTest, HandsArgumentsToTheRunningInstanceBeforeAcknowledging)
{
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening) << running.error;
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"oxel:/callback?state=a%20b&id_token=x"}));
    EXPECT_EQ(receivedSoFar(), (std::vector<Arguments>{{"oxel:/callback?state=a%20b&id_token=x"}}))
        << "the sender returns only after the running instance took the arguments";
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"/photos/a.jpg", "/photos/b é.heic", ""}));
    EXPECT_EQ(receivedSoFar().back(), (Arguments{"/photos/a.jpg", "/photos/b é.heic", ""}));
    // A Latin-1 folder and name, as an archive from another system unpacks them.
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"/photos/\xE9t\xE9/caf\xE9.jpg"}));
    EXPECT_EQ(receivedSoFar().back(), (Arguments{"/photos/\xE9t\xE9/caf\xE9.jpg"}));
}

TEST_F(InstanceChannelTest, HandsOverABatchOfThousandsOfFiles)
{
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening) << running.error;
    Arguments batch;
    for (int i = 0; i < 5000; ++i)
        batch.push_back("/home/photographer/Pictures/2026 wedding/selects/IMG_" + std::to_string(10000 + i) + ".jpg");
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, batch));
    ASSERT_EQ(receivedSoFar().size(), 1u);
    EXPECT_EQ(receivedSoFar()[0], batch);
}

TEST_F(InstanceChannelTest, OnlyOneInstanceListensAndASocketLeftBehindIsReplaced)
{
    {
        auto first = listen();
        ASSERT_EQ(first.outcome, InstanceChannel::Outcome::listening);
        EXPECT_EQ(listen().outcome, InstanceChannel::Outcome::anotherInstanceListens);
    }
    EXPECT_FALSE(InstanceChannel::handOff(socketPath, {"x"})) << "nobody listens any more";

    // A socket file left by an instance that crashed: bound, never cleaned up.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = unixAddress(socketPath);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);

    auto next = listen();
    ASSERT_EQ(next.outcome, InstanceChannel::Outcome::listening) << next.error;
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"again"}));
}

TEST_F(InstanceChannelTest, KeepsItsFolderPrivate)
{
    std::filesystem::create_directories(socketPath.parent_path());
    ::chmod(socketPath.parent_path().c_str(), 0777);
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening);
    struct stat info {};
    ::stat(socketPath.parent_path().c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(InstanceChannelTest, IgnoresMalformedAndStalledSendersAndKeepsServing)
{
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening);

    const int garbage = rawConnection();
    const char bytes[] = "{\"arguments\": [1, 2]}";
    ASSERT_EQ(::write(garbage, bytes, sizeof bytes - 1), static_cast<ssize_t>(sizeof bytes - 1));
    ::shutdown(garbage, SHUT_WR);
    char reply[8];
    EXPECT_EQ(::read(garbage, reply, sizeof reply), 0) << "no acknowledgement for a malformed hand-off";
    ::close(garbage);

    const int oversized = rawConnection();
    const std::string huge(InstanceChannel::maxHandOffBytes + 10, 'a');
    (void)!::send(oversized, huge.data(), huge.size(), MSG_NOSIGNAL);
    ::close(oversized);

    const int stalled = rawConnection(); // sends nothing and never closes: dropped at the deadline
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"after"}, std::chrono::seconds(10)));
    ::close(stalled);
    EXPECT_EQ(receivedSoFar(), (std::vector<Arguments>{{"after"}}));
}

TEST_F(InstanceChannelTest, IdleConnectionsDelayNoStart)
{
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening);
    std::vector<int> idle;
    for (int i = 0; i < 17; ++i) idle.push_back(rawConnection());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"a.jpg"}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    EXPECT_EQ(receivedSoFar(), (std::vector<Arguments>{{"a.jpg"}}));
    for (int fd : idle) ::close(fd);
}

TEST_F(InstanceChannelTest, ASenderGivesUpOnAnInstanceThatNeverAcceptsWithinItsTimeLimit)
{
    std::filesystem::create_directories(socketPath.parent_path());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = unixAddress(socketPath);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    // Fills the queue of connections waiting to be accepted.
    std::vector<int> queued;
    for (int i = 0; i < 8; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
        queued.push_back(fd);
    }
    std::atomic<bool> returned{false};
    bool handed = true;
    std::thread sender([&] {
        handed = InstanceChannel::handOff(socketPath, {"a.jpg"}, std::chrono::milliseconds(300));
        returned = true;
    });
    for (int i = 0; i < 300 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(returned) << "the sender still waits to connect";
    ::close(listener); // lets a sender that waits without limit go
    sender.join();
    EXPECT_FALSE(handed);
    for (int fd : queued) ::close(fd);
}

TEST(InstanceHandOff, DecodesOnlyAListOfTexts)
{
    EXPECT_EQ(InstanceChannel::decodeHandOff(InstanceChannel::encodeHandOff({"a", "b"})), (Arguments{"a", "b"}));
    EXPECT_EQ(InstanceChannel::decodeHandOff(R"({"arguments":[]})"), Arguments{});
    for (const char* malformed :
         {"", "[]", "{}", R"({"arguments":"a"})", R"({"arguments":["a",null]})", R"({"arguments":["a"])"})
        EXPECT_FALSE(InstanceChannel::decodeHandOff(malformed)) << malformed;
    // Latin-1 names arrive as their exact bytes; an earlier version reads them readable.
    const std::string latin1 = "/photos/\xE9t\xE9/caf\xE9.jpg";
    const std::string message = InstanceChannel::encodeHandOff({"--handoff", latin1});
    EXPECT_EQ(InstanceChannel::decodeHandOff(message), (Arguments{"--handoff", latin1}));
    EXPECT_EQ(parseJson(message)->at("arguments")[1], "/photos/\uFFFDt\uFFFD/caf\uFFFD.jpg");
    EXPECT_FALSE(InstanceChannel::decodeHandOff(R"({"arguments":["a"],"argumentBytes":["4"]})"));
    EXPECT_FALSE(InstanceChannel::decodeHandOff(R"({"arguments":["a"],"argumentBytes":[]})"));
}

TEST(InstanceHandOff, StandardPathIsUnderTheRuntimeFolderElseTheCacheFolder)
{
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    const auto path = InstanceChannel::standardPath();
    // Without one, the application's own cache folder, never a shared one another user could take.
    ::unsetenv("XDG_RUNTIME_DIR");
    const auto withoutRuntime = InstanceChannel::standardPath();
    previous ? ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(path.parent_path().parent_path(), "/run/user/4242");
    EXPECT_EQ(path.filename(), "instance");
    EXPECT_EQ(withoutRuntime, cacheDirectory() / "instance");
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST_F(InstanceChannelTest, AWaitingSenderGoesOnOnlyWhenItsHandOffIsLetGo)
{
    auto running = listen();
    ASSERT_EQ(running.outcome, InstanceChannel::Outcome::listening);
    // Not held: the wait ends at once.
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"--wait", "a.jpg"}, std::chrono::seconds(5), true));

    keepHolds = true;
    std::atomic<bool> returned{false};
    std::atomic<bool> taken{false};
    std::thread sender([&] {
        taken = InstanceChannel::handOff(socketPath, {"--wait", "b.jpg"}, std::chrono::seconds(5), true);
        returned = true;
    });
    for (int i = 0; i < 200 && receivedSoFar().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(returned) << "the hold keeps the sender waiting";
    // A sender that does not wait is answered while another one waits.
    EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"c.jpg"}));
    {
        std::lock_guard lock(mutex);
        holds.clear();
    }
    sender.join();
    EXPECT_TRUE(taken);

    // The instance ending lets every waiting sender go.
    std::thread last(
        [&] { EXPECT_TRUE(InstanceChannel::handOff(socketPath, {"d.jpg"}, std::chrono::seconds(5), true)); });
    for (int i = 0; i < 200 && receivedSoFar().size() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    running.channel.reset();
    {
        std::lock_guard lock(mutex);
        holds.clear();
    }
    last.join();
}

TEST(InstanceClaim, TheFirstStartRunsAndLaterStartsHandTheirArgumentsToIt)
{
    testing::TemporaryFolder folder;
    const auto path = folder / "instance";
    std::mutex mutex;
    std::vector<std::vector<std::string>> received;
    const auto handler = [&](std::vector<std::string> arguments, InstanceChannel::Hold) {
        std::lock_guard lock(mutex);
        received.push_back(std::move(arguments));
    };

    auto first = InstanceChannel::claim(path, {"/photos/a.jpg"}, handler);
    ASSERT_TRUE(first.channel) << first.error;
    EXPECT_FALSE(first.handedOff);

    // Starts racing each other: every one finds the running instance.
    std::vector<std::thread> starts;
    std::atomic<int> handedOff = 0;
    for (int i = 0; i < 4; ++i)
        starts.emplace_back([&, i] {
            auto later = InstanceChannel::claim(path, {"oxel:/auth/apple?n=" + std::to_string(i)}, handler);
            if (later.handedOff && !later.channel) ++handedOff;
        });
    for (auto& start : starts) start.join();
    EXPECT_EQ(handedOff, 4);
    std::lock_guard lock(mutex);
    EXPECT_EQ(received.size(), 4u) << "the first start keeps its own arguments";
}

TEST(InstanceClaim, OfStartsAtTheSameMomentExactlyOneRuns)
{
    testing::TemporaryFolder folder;
    std::atomic<int> heard = 0;
    std::vector<InstanceChannel::Claim> claims(6);
    std::vector<std::thread> starts;
    for (size_t i = 0; i < claims.size(); ++i)
        starts.emplace_back([&, i] {
            claims[i] = InstanceChannel::claim(folder / "instance", {"x"},
                                               [&](std::vector<std::string>, InstanceChannel::Hold) { ++heard; });
        });
    for (auto& start : starts) start.join();
    EXPECT_EQ(std::count_if(claims.begin(), claims.end(), [](const auto& c) { return c.channel != nullptr; }), 1);
    EXPECT_EQ(std::count_if(claims.begin(), claims.end(), [](const auto& c) { return c.handedOff; }), 5);
    EXPECT_EQ(heard, 5);
}

TEST(InstanceClaim, AFolderThatCannotBeMadeLetsTheProgramRunAlone)
{
    testing::TemporaryFolder folder;
    std::ofstream(folder / "file") << "";
    auto claim = InstanceChannel::claim(folder / "file" / "instance", {},
                                        [](std::vector<std::string>, InstanceChannel::Hold) {});
    EXPECT_FALSE(claim.channel);
    EXPECT_FALSE(claim.handedOff);
    EXPECT_FALSE(claim.error.empty());
}

TEST(InstanceClaim, NeverHandsArgumentsIntoAnotherUsersFolder)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a folder to another user";
    testing::TemporaryFolder folder;
    const auto path = folder / "shared" / "instance";
    std::atomic<int> heard = 0;
    // Someone else's instance, listening in a folder they made first.
    auto theirs = InstanceChannel::claim(path, {}, [&](std::vector<std::string>, InstanceChannel::Hold) { ++heard; });
    ASSERT_TRUE(theirs.channel) << theirs.error;
    ASSERT_EQ(::chown((folder / "shared").c_str(), 65534, 65534), 0);

    auto mine =
        InstanceChannel::claim(path, {"/photos/private.jpg"}, [](std::vector<std::string>, InstanceChannel::Hold) {});
    EXPECT_FALSE(mine.handedOff);
    EXPECT_FALSE(mine.channel);
    EXPECT_EQ(mine.error, (folder / "shared").string() + " is not a folder of this user");
    EXPECT_EQ(heard, 0);
}

} // namespace
} // namespace oxel
