#include "platform/AtomicFile.h"

#include "support/FileContents.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

namespace oxel {
namespace {

using testing::contentsOf;
using testing::TemporaryFolder;

mode_t permissionsOf(const std::filesystem::path& file)
{
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

size_t entriesIn(const std::filesystem::path& folder)
{
    return size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(AtomicFile, CommitReplacesTheDestinationWithAFileThatWasOnlyItsOwnersWhileWritten)
{
    TemporaryFolder folder;
    const auto destination = folder / "picture.psd";
    std::ofstream(destination) << "old";
    {
        AtomicFile file(destination,
                        {.prefix = ".oxel-", .suffix = ".psd.part", .permissions = 0640, .beforeReplacing = {}});
        ASSERT_TRUE(file.created()) << file.failure();
        EXPECT_TRUE(std::regex_match(file.path().filename().string(), std::regex(R"(\.oxel-[0-9A-F]{32}\.psd\.part)")));
        EXPECT_EQ(file.path().parent_path(), folder.path());
        EXPECT_EQ(permissionsOf(file.path()), 0600u);
        EXPECT_TRUE(file.write("new "));
        EXPECT_TRUE(file.write(std::string(100000, 'x')));
        EXPECT_EQ(contentsOf(destination), "old") << "the destination changes only on commit";
        EXPECT_TRUE(file.commit()) << file.failure();
        EXPECT_FALSE(file.write("more")) << "a committed file takes nothing more";
    }
    EXPECT_EQ(contentsOf(destination), "new " + std::string(100000, 'x'));
    EXPECT_EQ(permissionsOf(destination), 0640u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);
}

TEST(AtomicFile, OnlyTheFileItWroteIsMovedIntoPlace)
{
    TemporaryFolder folder;
    const auto destination = folder / "state.json";
    std::ofstream(folder / "victim") << "victim";
    // Whatever another writer of the folder puts under the temporary's name, a file or a link.
    for (const bool link : {false, true}) {
        std::ofstream(destination) << "old";
        AtomicFile file(destination);
        ASSERT_TRUE(file.created());
        EXPECT_TRUE(std::regex_match(file.path().filename().string(), std::regex(R"(state\.json\.tmp-[0-9A-F]{32})")));
        ASSERT_TRUE(file.write("new"));
        if (link)
            std::filesystem::create_symlink(folder / "victim", folder / "planted");
        else
            std::ofstream(folder / "planted") << "planted";
        std::filesystem::rename(folder / "planted", file.path());
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(file.failure(), "could not replace " + destination.string() + ": the temporary was replaced");
        EXPECT_EQ(contentsOf(destination), "old");
        EXPECT_EQ(contentsOf(folder / "victim"), "victim");
    }
}

TEST(AtomicFile, AFailureOrGoingAwayUncommittedLeavesTheDestinationAsItWasAndNoTemporary)
{
    TemporaryFolder folder;
    const auto kept = folder / "kept.txt";
    std::ofstream(kept) << "kept";
    {
        AtomicFile file(kept);
        ASSERT_TRUE(file.write("abandoned"));
    }
    EXPECT_EQ(contentsOf(kept), "kept");
    EXPECT_EQ(entriesIn(folder.path()), 1u);

    // A folder in the way of the rename.
    std::filesystem::create_directories(folder / "taken" / "inside");
    {
        AtomicFile file(folder / "taken");
        ASSERT_TRUE(file.write("bytes"));
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(file.failure().rfind("could not replace " + (folder / "taken").string() + ": ", 0), 0u)
            << file.failure();
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken" / "inside"));
    EXPECT_EQ(entriesIn(folder.path()), 2u);

    AtomicFile nowhere(folder / "missing" / "file.txt");
    EXPECT_FALSE(nowhere.created());
    EXPECT_FALSE(nowhere.write("x"));
    EXPECT_FALSE(nowhere.commit());
    EXPECT_EQ(nowhere.failure().rfind("could not create " + (folder / "missing").string() + "/file.txt.tmp-", 0), 0u)
        << nowhere.failure();
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST(AtomicFile, PermissionsFollowTheFileCreationMask)
{
    const mode_t mask = ::umask(027);
    EXPECT_EQ(maskedByUmask(0666), 0640u);
    ::umask(mask);
    EXPECT_EQ(maskedByUmask(0777), 0777u & ~mask);
}

} // namespace
} // namespace oxel
