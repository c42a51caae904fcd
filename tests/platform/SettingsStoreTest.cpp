#include "platform/SettingsStore.h"

#include "support/FileContents.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace oxel {
namespace {

using testing::contentsOf;
using testing::TemporaryFolder;

void writeText(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

TEST(SettingsStore, KeepsEveryTypeAcrossReopening)
{
    TemporaryFolder folder;
    const auto file = folder / "nested" / "settings.json";
    {
        SettingsStore store(file);
        store.set("grainEnabled", false);
        store.set("creditBalance", 42);
        store.set("strength", 0.75);
        store.set("accountToken", "tok-1");
        store.set("recent", std::vector<std::string>{"a", "b"});
        store.setValue("raw", nlohmann::json{{"x", 1}});
    }
    SettingsStore reopened(file);
    EXPECT_EQ(reopened.boolValue("grainEnabled"), false);
    EXPECT_EQ(reopened.intValue("creditBalance"), 42);
    EXPECT_EQ(reopened.doubleValue("strength"), 0.75);
    EXPECT_EQ(reopened.stringValue("accountToken"), "tok-1");
    EXPECT_EQ(reopened.stringListValue("recent"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(reopened.value("raw"), (nlohmann::json{{"x", 1}}));
}

TEST(SettingsStore, TypedReadsYieldNothingForAbsentKeysAndOtherTypes)
{
    TemporaryFolder folder;
    SettingsStore store(folder / "settings.json");
    store.set("number", 1);
    store.set("text", "true");
    store.setValue("mixed", nlohmann::json::array({"a", 2}));

    EXPECT_FALSE(store.contains("missing"));
    EXPECT_FALSE(store.stringValue("missing"));
    EXPECT_FALSE(store.boolValue("number")) << "1 is not a bool";
    EXPECT_FALSE(store.boolValue("text"));
    EXPECT_FALSE(store.intValue("text"));
    EXPECT_EQ(store.doubleValue("number"), 1.0) << "integers read as doubles";
    EXPECT_FALSE(store.intValue("mixed"));
    EXPECT_FALSE(store.stringListValue("mixed")) << "a list with a number is not a list of texts";

    store.set("strength", 0.5);
    EXPECT_FALSE(store.intValue("strength")) << "a fraction is not an integer";
}

TEST(SettingsStore, RemovedKeysStayAbsentAfterReopening)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    store.set("userId", "7");
    store.set("accountToken", "t");
    EXPECT_TRUE(store.remove("accountToken"));
    EXPECT_TRUE(store.remove("neverThere"));
    EXPECT_EQ(SettingsStore(file).keys(), std::vector<std::string>{"userId"});
}

TEST(SettingsStore, WritesSortedPrettyJsonOnlyTheUserCanRead)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    store.set("zeta", 1);
    store.set("alpha", true);
    EXPECT_EQ(contentsOf(file), "{\n  \"alpha\": true,\n  \"zeta\": 1\n}\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // No temporary files left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(SettingsStore, MovesADamagedFileAsideInsteadOfOverwritingIt)
{
    // Nested past what the reader takes: it would load, then bring down every later save.
    const std::string deep = "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
    for (const std::string& damaged :
         {std::string("{\"userId\": \"7\","), std::string("[1, 2]"), std::string("\xff\xfe garbage"), deep}) {
        TemporaryFolder folder;
        const auto file = folder / "settings.json";
        writeText(file, damaged);
        SettingsStore store(file);
        EXPECT_TRUE(store.keys().empty());
        EXPECT_TRUE(contentsOf(folder / "settings.json.damaged") == damaged);
        store.set("grainEnabled", true);
        EXPECT_EQ(SettingsStore(file).boolValue("grainEnabled"), true);
    }
}

TEST(SettingsStore, AFailedWriteIsReportedAndKeepsTheValueAndTheOldFile)
{
    TemporaryFolder folder;
    const auto file = folder / "sub" / "settings.json";
    SettingsStore store(file);
    store.set("userId", "7");
    // A plain file where the folder should be makes every write fail, for root too.
    std::filesystem::rename(folder / "sub", folder / "moved");
    writeText(folder / "sub", "");

    EXPECT_FALSE(store.set("userId", "9"));
    EXPECT_EQ(store.stringValue("userId"), "9");
    EXPECT_EQ(SettingsStore(folder / "moved" / "settings.json").stringValue("userId"), "7");

    std::filesystem::remove(folder / "sub");
    std::filesystem::rename(folder / "moved", folder / "sub");
    EXPECT_TRUE(store.set("other", 1));
    EXPECT_EQ(SettingsStore(file).stringValue("userId"), "9") << "the next write carries the earlier change";
}

TEST(SettingsStore, ATextThatIsNotUtf8IsRefusedAndLaterWritesStillWork)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    store.set("lastFolder", "/photos");
    EXPECT_FALSE(store.set("lastFolder", "/photos/\xe9t\xe9"));
    EXPECT_FALSE(store.set("recent", std::vector<std::string>{"ok", "\xff"}));
    EXPECT_EQ(store.stringValue("lastFolder"), "/photos");
    EXPECT_FALSE(store.contains("recent"));

    EXPECT_TRUE(store.set("userId", "7"));
    EXPECT_EQ(SettingsStore(file).stringValue("userId"), "7");
    EXPECT_EQ(SettingsStore(file).stringValue("lastFolder"), "/photos");
}

TEST(SettingsStore, ConcurrentWritersLoseNoChange)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                store.set("key-" + std::to_string(t) + "-" + std::to_string(i), i);
                (void)store.stringValue("key-0-0");
            }
        });
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(SettingsStore(file).keys().size(), 100u);
}

TEST(SettingsStore, StandardFileLivesUnderTheConfigurationHome)
{
    TemporaryFolder folder;
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    const auto file = SettingsStore::standardFile();
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    const auto fallback = SettingsStore::standardFile();
    previous ? ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(file.parent_path().parent_path(), folder.path());
    EXPECT_TRUE(file.parent_path().filename() == "oxel pro" || file.parent_path().filename() == "oxel pro dev");
    EXPECT_EQ(file.filename(), "settings.json");
    EXPECT_NE(fallback.string().find("/.config/"), std::string::npos);
}

} // namespace
} // namespace oxel
