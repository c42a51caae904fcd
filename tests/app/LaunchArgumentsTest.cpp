#include "app/LaunchArguments.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using Strings = std::vector<std::string>;

LaunchArguments parsed(const Strings& arguments)
{
    ParsedArguments result = parseLaunchArguments(arguments, "/home/ada/photos");
    EXPECT_TRUE(result.arguments) << result.error;
    return result.arguments.value_or(LaunchArguments{});
}

TEST(LaunchArguments, FilesAreOpenedWithAbsolutePaths)
{
    struct Case {
        std::string argument;
        std::string path;
    };
    const Case cases[] = {
        {"a.jpg", "/home/ada/photos/a.jpg"},
        {"../b.tif", "/home/ada/b.tif"},
        {"/tmp/c.png", "/tmp/c.png"},
        {"file:///tmp/two%20words%23.jpg", "/tmp/two words#.jpg"},
        {"file://localhost/tmp/d.jpg", "/tmp/d.jpg"},
        {"FILE:/tmp/%C3%A9t%C3%A9.jpg", "/tmp/\xC3\xA9t\xC3\xA9.jpg"},
    };
    for (const Case& c : cases) {
        LaunchArguments launch = parsed({c.argument});
        EXPECT_EQ(launch.openedFiles, Strings{c.path}) << c.argument;
        EXPECT_TRUE(launch.handoffFiles.empty());
        EXPECT_FALSE(launch.handoff);
    }
}

TEST(LaunchArguments, FileUrisThatNameNoLocalFileAreErrors)
{
    for (std::string bad : {"file://elsewhere/tmp/a.jpg", "file:///tmp/a%2", "file:///tmp/a%zz.jpg",
                            "file:///tmp/a%00.jpg", "file:relative.jpg"}) {
        ParsedArguments result = parseLaunchArguments({bad}, "/");
        EXPECT_FALSE(result.arguments) << bad;
        EXPECT_EQ(result.error.find('\n'), std::string::npos);
        EXPECT_NE(result.error.find("not a local file"), std::string::npos) << result.error;
    }
}

TEST(LaunchArguments, UrlsOfOurSchemesAreKeptAsTheyAre)
{
    LaunchArguments launch = parsed({"oxel://callback?code=a%20b", "OXEL:x", "a.jpg"});
    EXPECT_EQ(launch.urls, (Strings{"oxel://callback?code=a%20b", "OXEL:x"}));
    EXPECT_EQ(launch.openedFiles, Strings{"/home/ada/photos/a.jpg"});

    ParsedArguments other = parseLaunchArguments({"com.example.app:/cb"}, "/", {"oxel", "com.example.app"});
    ASSERT_TRUE(other.arguments);
    EXPECT_EQ(other.arguments->urls, Strings{"com.example.app:/cb"});
}

TEST(LaunchArguments, HandoffFlagsHandOverEveryFile)
{
    LaunchArguments bare = parsed({"--handoff", "a.jpg", "/tmp/b.tif"});
    EXPECT_TRUE(bare.handoff);
    EXPECT_FALSE(bare.sender);
    EXPECT_FALSE(bare.wait);
    EXPECT_EQ(bare.handoffFiles, (Strings{"/home/ada/photos/a.jpg", "/tmp/b.tif"}));
    EXPECT_TRUE(bare.openedFiles.empty());

    LaunchArguments named = parsed({"--handoff=Darktable 4.2", "--wait", "a.tif"});
    EXPECT_EQ(named.sender, "Darktable 4.2");
    EXPECT_TRUE(named.wait);
    EXPECT_EQ(named.handoffFiles, Strings{"/home/ada/photos/a.tif"});

    EXPECT_FALSE(parsed({"--handoff=", "a.jpg"}).sender);
}

TEST(LaunchArguments, SenderNamesThatAreNotPlainTextAreLeftOut)
{
    for (std::string name : {std::string("shot\nwell"), std::string("a\x1b[31m"), std::string(41, 'x')}) {
        ParsedArguments result = parseLaunchArguments({"--handoff=" + name, "a.jpg"}, "/");
        ASSERT_TRUE(result.arguments);
        EXPECT_FALSE(result.arguments->sender);
        EXPECT_EQ(result.arguments->handoffFiles, Strings{"/a.jpg"});
        EXPECT_EQ(result.warnings.size(), 1u);
    }
    // Forty characters of any script fit.
    std::string greek;
    for (int i = 0; i < 40; ++i) greek += "\xCE\xB1";
    EXPECT_EQ(parsed({"--handoff=" + greek}).sender, greek);
}

TEST(LaunchArguments, WrongCommandLinesGiveOneErrorLine)
{
    const Strings cases[] = {{"--frobnicate"}, {"-x"}, {"--wait", "a.jpg"}, {"--handoff", "--bad\x07"}};
    for (const Strings& arguments : cases) {
        ParsedArguments result = parseLaunchArguments(arguments, "/");
        EXPECT_FALSE(result.arguments) << arguments.front();
        EXPECT_TRUE(result.error.starts_with("oxel-pro: ")) << result.error;
        for (char c : result.error) EXPECT_GE((unsigned char)c, 0x20) << result.error;
    }
    // After "--" everything is a file, dashes and all.
    EXPECT_EQ(parsed({"--", "-x", "--wait"}).openedFiles, (Strings{"/home/ada/photos/-x", "/home/ada/photos/--wait"}));
}

TEST(LaunchArguments, ForwardedArgumentsReadBackTheSameInAnyFolder)
{
    LaunchArguments handed = parsed({"--handoff=shotwell", "--wait", "a b.jpg", "oxel:cb", "-"});
    handed.activationToken = "token 1";
    LaunchArguments opened = parsed({"x.jpg", "--activation-token=t"});
    for (const LaunchArguments& launch : {handed, opened, LaunchArguments{}}) {
        ParsedArguments back = parseLaunchArguments(forwardedArguments(launch), "/elsewhere");
        ASSERT_TRUE(back.arguments) << back.error;
        EXPECT_EQ(*back.arguments, launch);
    }
}

} // namespace
} // namespace oxel
