#include "ui/kit/Palette.h"
#include "platform/SettingsStore.h"
#include "support/TemporaryFolder.h"
#include "ui/kit/AppearanceController.h"
#include "ui/kit/AppearancePreference.h"
#include "ui/kit/ApplicationPalette.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cmath>

namespace oxel {
namespace {

void expectColour(const QColor& colour, int red, int green, int blue, double alpha = 1)
{
    EXPECT_EQ(colour.red(), red);
    EXPECT_EQ(colour.green(), green);
    EXPECT_EQ(colour.blue(), blue);
    EXPECT_NEAR(colour.alphaF(), alpha, 1e-4); // alpha is kept in 16 bits
}

TEST(Palette, PaperInkAndPencilTakeTheVariantOfTheAppearance)
{
    expectColour(Palette::paper().resolve(Appearance::light), 242, 241, 237);
    expectColour(Palette::paper().resolve(Appearance::dark), 14, 14, 13);
    expectColour(Palette::ink().resolve(Appearance::light), 27, 26, 24);
    expectColour(Palette::ink().resolve(Appearance::dark), 237, 234, 224);
    expectColour(Palette::ink(0.5).resolve(Appearance::light), 27, 26, 24, 0.5);
    expectColour(Palette::ink(0.5).resolve(Appearance::dark), 237, 234, 224, 0.5);
    expectColour(Palette::pencil().resolve(Appearance::light), 185, 181, 170);
    expectColour(Palette::pencil().resolve(Appearance::dark), 76, 74, 70);
    expectColour(Palette::onInk().resolve(Appearance::light), 242, 241, 237);
    expectColour(Palette::onInk().resolve(Appearance::dark), 14, 14, 13);
}

TEST(Palette, InkOpacityIsClampedToZeroToOne)
{
    expectColour(Palette::ink(1.7).resolve(Appearance::light), 27, 26, 24, 1);
    expectColour(Palette::ink(-0.2).resolve(Appearance::dark), 237, 234, 224, 0);
    expectColour(Palette::ink(std::nan("")).resolve(Appearance::light), 27, 26, 24, 0);
}

TEST(Palette, AccentIsTheSameInBothAppearances)
{
    expectColour(Palette::accent().resolve(Appearance::light), 194, 59, 43);
    expectColour(Palette::accent().resolve(Appearance::dark), 194, 59, 43);
}

TEST(Palette, ApplicationPaletteTellsItsAppearance)
{
    EXPECT_EQ(appearanceOf(applicationPalette(Appearance::light)), Appearance::light);
    EXPECT_EQ(appearanceOf(applicationPalette(Appearance::dark)), Appearance::dark);
    EXPECT_EQ(applicationPalette(Appearance::dark).color(QPalette::Window), QColor(14, 14, 13));
    // A darker, higher-contrast variant of the dark look still counts as dark.
    QPalette contrast = applicationPalette(Appearance::dark);
    contrast.setColor(QPalette::Window, Qt::black);
    EXPECT_EQ(appearanceOf(contrast), Appearance::dark);
}

TEST(AppearancePreference, RawTextsAreMatchedExactly)
{
    EXPECT_EQ(appearancePreferenceFrom("dark"), AppearancePreference::dark);
    EXPECT_EQ(appearancePreferenceFrom("light"), AppearancePreference::light);
    EXPECT_EQ(appearancePreferenceFrom("system"), AppearancePreference::system);
    EXPECT_EQ(appearancePreferenceFrom("Dark"), std::nullopt);
    EXPECT_EQ(appearancePreferenceFrom(""), std::nullopt);
    for (const auto preference : allAppearancePreferences)
        EXPECT_EQ(appearancePreferenceFrom(rawText(preference)), preference);
}

TEST(AppearancePreference, WindowShowsDarkForAnyUnknownText)
{
    EXPECT_EQ(windowAppearance("Dark", Appearance::light), Appearance::dark);
    EXPECT_EQ(windowAppearance("purple", Appearance::light), Appearance::dark);
    EXPECT_EQ(windowAppearance("light", Appearance::dark), Appearance::light);
    EXPECT_EQ(windowAppearance("system", Appearance::light), Appearance::light);
    EXPECT_EQ(windowAppearance("system", Appearance::dark), Appearance::dark);
}

TEST(SystemAppearance, PortalSchemeWinsThenThePlatformPaletteThenLight)
{
    EXPECT_EQ(systemAppearance(1u, Appearance::light), Appearance::dark);
    EXPECT_EQ(systemAppearance(2u, Appearance::dark), Appearance::light);
    EXPECT_EQ(systemAppearance(0u, Appearance::dark), Appearance::dark);
    EXPECT_EQ(systemAppearance(std::nullopt, Appearance::dark), Appearance::dark);
    EXPECT_EQ(systemAppearance(7u, std::nullopt), Appearance::light);
    EXPECT_EQ(systemAppearance(std::nullopt, std::nullopt), Appearance::light);
}

using Announce = std::function<void(std::uint32_t)>;

// A desktop whose colour scheme the test sets; the test keeps the announcing end.
class FakeColourScheme final : public ColourSchemeSource {
public:
    FakeColourScheme(std::optional<std::uint32_t> scheme, std::shared_ptr<Announce> announce)
        : scheme_(scheme), announce_(std::move(announce))
    {}
    std::optional<std::uint32_t> colourScheme() override { return scheme_; }
    void watch(Announce changed) override { *announce_ = std::move(changed); }

private:
    std::optional<std::uint32_t> scheme_;
    std::shared_ptr<Announce> announce_;
};

class AppearanceControllerTest : public ::testing::Test {
protected:
    ~AppearanceControllerTest() override { QApplication::setPalette(applicationPalette(Appearance::light)); }

    std::unique_ptr<AppearanceController> makeController(std::optional<std::uint32_t> scheme)
    {
        return std::make_unique<AppearanceController>(AppearanceController::Environment{
            &settings_, std::make_unique<FakeColourScheme>(scheme, announce_), Appearance::light});
    }

    testing::TemporaryFolder folder_;
    SettingsStore settings_{folder_.path() / "settings.json"};
    std::shared_ptr<Announce> announce_ = std::make_shared<Announce>();
};

TEST_F(AppearanceControllerTest, StartsDarkWithNothingStored)
{
    const auto controller = makeController(2u);
    EXPECT_EQ(controller->preference(), AppearancePreference::dark);
    EXPECT_EQ(controller->appearance(), Appearance::dark);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(14, 14, 13));
}

TEST_F(AppearanceControllerTest, UnknownStoredTextShowsTheDarkScheme)
{
    settings_.set(appearancePreferenceKey, "Dark");
    const auto controller = makeController(2u);
    EXPECT_EQ(controller->appearance(), Appearance::dark);
    EXPECT_EQ(controller->preference(), AppearancePreference::dark);
}

TEST_F(AppearanceControllerTest, ChosenPreferenceIsStoredAndRepaintsTheApplication)
{
    const auto controller = makeController(std::nullopt);
    std::vector<Appearance> seen;
    QObject::connect(controller.get(), &AppearanceController::appearanceChanged,
                     [&](Appearance appearance) { seen.push_back(appearance); });
    controller->setPreference(AppearancePreference::light);
    EXPECT_EQ(settings_.stringValue(appearancePreferenceKey), "light");
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(242, 241, 237));
    controller->setPreference(AppearancePreference::light);
    EXPECT_EQ(seen, std::vector<Appearance>{Appearance::light});
}

TEST_F(AppearanceControllerTest, SystemFollowsThePortalLive)
{
    settings_.set(appearancePreferenceKey, "system");
    const auto controller = makeController(1u);
    EXPECT_EQ(controller->appearance(), Appearance::dark);
    (*announce_)(2u);
    EXPECT_EQ(controller->appearance(), Appearance::light);
    EXPECT_EQ(appearanceOf(QApplication::palette()), Appearance::light);
    (*announce_)(0u);
    EXPECT_EQ(controller->appearance(), Appearance::light); // the platform palette read at start
}

TEST_F(AppearanceControllerTest, PortalChangesDoNotMoveAFixedPreference)
{
    settings_.set(appearancePreferenceKey, "light");
    const auto controller = makeController(1u);
    (*announce_)(1u);
    EXPECT_EQ(controller->appearance(), Appearance::light);
}

} // namespace
} // namespace oxel
