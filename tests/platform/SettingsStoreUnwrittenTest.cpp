#include "platform/SettingsStore.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using testing::TemporaryFolder;

TEST(SettingsStoreUnwritten, ValuesAreReadAtOnceAndWrittenTogetherByTheNextWrite)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    store.set("standingLight", 1.0);
    EXPECT_TRUE(store.setValuesUnwritten({{"standingLight", 0.4}, {"standingNudge", "warm"}}));
    EXPECT_EQ(store.doubleValue("standingLight"), 0.4);
    EXPECT_EQ(SettingsStore(file).doubleValue("standingLight"), 1.0);
    EXPECT_FALSE(SettingsStore(file).contains("standingNudge"));

    EXPECT_TRUE(store.flush());
    SettingsStore flushed(file);
    EXPECT_EQ(flushed.doubleValue("standingLight"), 0.4);
    EXPECT_EQ(flushed.stringValue("standingNudge"), "warm");

    // Any other change writes what waits with it.
    store.setValuesUnwritten({{"standingLight", 0.7}});
    store.set("grainEnabled", false);
    EXPECT_EQ(SettingsStore(file).doubleValue("standingLight"), 0.7);
}

TEST(SettingsStoreUnwritten, AValueThatCannotBeWrittenRefusesTheWholeChange)
{
    TemporaryFolder folder;
    const auto file = folder / "settings.json";
    SettingsStore store(file);
    store.set("standingNudge", "warm");
    EXPECT_FALSE(store.setValuesUnwritten({{"standingLight", 0.2}, {"standingNudge", std::string("caf\xe9")}}));
    EXPECT_FALSE(store.contains("standingLight"));
    EXPECT_EQ(store.stringValue("standingNudge"), "warm");
    EXPECT_TRUE(store.flush());
    EXPECT_FALSE(SettingsStore(file).contains("standingLight"));
}

} // namespace
} // namespace oxel
