#include "model/HandoffApp.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

TEST(HandoffApp, HostNamesMapByTheirLowerCasedWords)
{
    struct Case {
        std::optional<std::string> name;
        std::optional<HandoffApp> app;
    };
    const Case cases[] = {
        {"shotwell", HandoffApp::shotwell},
        {"Shotwell 0.30", HandoffApp::shotwell},
        {"org.gnome.Shotwell", HandoffApp::shotwell},
        {"darktable", HandoffApp::darktable},
        {"DARKTABLE-cli", HandoffApp::darktable},
        {"shot well", std::nullopt},
        {"dark table", std::nullopt},
        {"another application", std::nullopt},
        {"other", std::nullopt},
        {"", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(handoffAppFromHostName(c.name), c.app) << c.name.value_or("(none)");
}

TEST(HandoffApp, RawValuesAndNames)
{
    EXPECT_EQ(displayName(HandoffApp::other), "another application");
    for (HandoffApp app : allHandoffApps) EXPECT_EQ(handoffAppFromRawValue(rawValue(app)), app);
    EXPECT_EQ(handoffAppFromRawValue("Shotwell"), std::nullopt);
}

} // namespace
} // namespace oxel
