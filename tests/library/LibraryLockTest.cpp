#include "library/LibraryLock.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(LibraryLock, OneHolderAtATimeNamesItsChannelToTheNext)
{
    TemporaryFolder folder;
    const auto root = folder / "Library";
    auto first = LibraryLock::take(root, folder / "runtime" / "instance");
    ASSERT_TRUE(first.lock) << first.error;

    auto second = LibraryLock::take(root, folder / "elsewhere" / "instance");
    EXPECT_FALSE(second.lock);
    EXPECT_TRUE(second.heldElsewhere);
    EXPECT_EQ(LibraryLock::holderChannel(root), folder / "runtime" / "instance");

    // A holder without a channel can only be refused.
    first.lock.reset();
    auto silent = LibraryLock::take(root, std::nullopt);
    ASSERT_TRUE(silent.lock);
    auto third = LibraryLock::take(root, folder / "elsewhere" / "instance");
    EXPECT_TRUE(third.heldElsewhere);
    EXPECT_FALSE(LibraryLock::holderChannel(root));
}

// The channel file removed, or replaced by a link or a folder, lets no second writer in.
TEST(LibraryLock, TheHolderKeepsTheLibraryWhateverBecomesOfTheChannelFile)
{
    TemporaryFolder folder;
    const auto root = folder / "Library";
    auto holder = LibraryLock::take(root, folder / "runtime" / "instance");
    ASSERT_TRUE(holder.lock) << holder.error;
    const fs::path file = root / LibraryLock::fileName;
    const std::function<void()> changes[] = {
        [&] { fs::remove(file); },
        [&] { fs::create_symlink(folder / "elsewhere", file); },
        [&] { fs::create_directory(file); },
    };
    for (const auto& change : changes) {
        fs::remove_all(file);
        change();
        auto second = LibraryLock::take(root, folder / "second" / "instance");
        EXPECT_FALSE(second.lock);
        EXPECT_TRUE(second.heldElsewhere) << second.error;
    }
}

// A holder names its channel just after it took the lock, over the one an earlier holder left: a
// start that finds the library taken keeps reading until the new channel takes its arguments.
TEST(LibraryLock, AStartWaitsForTheHolderToNameItsChannel)
{
    TemporaryFolder folder;
    const auto root = folder / "Library";
    fs::create_directories(root);
    const int holder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    std::ofstream(root / LibraryLock::fileName) << "/earlier/instance";
    const fs::path channel = folder / "runtime" / "instance";
    std::jthread naming([&] {
        std::this_thread::sleep_for(200ms);
        std::ofstream(root / "named") << channel.string();
        fs::rename(root / "named", root / LibraryLock::fileName);
    });
    std::vector<fs::path> tried;
    const auto start = LibraryLock::takeOrHandOver(root, folder / "second" / "instance", [&](const fs::path& named) {
        tried.push_back(named);
        return named == channel;
    });
    EXPECT_TRUE(start.handedOver);
    EXPECT_FALSE(start.lock);
    ASSERT_FALSE(tried.empty());
    EXPECT_EQ(tried.front(), "/earlier/instance");
    EXPECT_EQ(tried.back(), channel);
    naming.join();
    ::close(holder);
}

// A holder that is closing has stopped listening on its channel, which is the path the next start
// listens on itself: the start waits for the holder to let go and then takes the library.
TEST(LibraryLock, AStartWaitsForAClosingHolderAndThenTakesTheLibrary)
{
    TemporaryFolder folder;
    const fs::path channel = folder / "runtime" / "instance";
    auto closing = LibraryLock::take(folder / "Library", channel);
    std::jthread ending([&] {
        std::this_thread::sleep_for(1500ms);
        closing.lock.reset();
    });
    int tries = 0;
    const auto start =
        LibraryLock::takeOrHandOver(folder / "Library", channel, [&](const fs::path&) { return ++tries < 0; });
    EXPECT_TRUE(start.lock) << start.error;
    EXPECT_EQ(tries, 0) << "the start handed its arguments to its own channel";
}

} // namespace
} // namespace oxel::testing
