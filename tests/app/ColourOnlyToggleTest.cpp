// The colour-only switch in the bottom bar, with a local model of this computer that can grade:
// the stand-in model server in this process.
#include "MainViewFixture.h"

#include "app/SheetPresenter.h"
#include "modelserver/ModelServer.h"
#include "ondevice/OnDeviceTestSupport.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/PaintedButton.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/BottomBar.h"
#include "ui/window/ColourOnlyToggle.h"

namespace oxel::testing {
namespace {

class ColourOnlyToggleTest : public MainViewTest {
protected:
    void SetUp() override
    {
        server.start();
        client = clientOf(loop, server.baseURL());
        ASSERT_TRUE(probed(loop, *client));
        localModel = client.get();
        makeModel();
        model->refreshColourOnlyAvailability();
        ASSERT_TRUE(model->colourOnlyModelReady());
    }

    local::ModelServer server{standInOptions(loop)};
    std::unique_ptr<ChatCompletionsModel> client;
};

TEST_F(ColourOnlyToggleTest, TheSwitchAsksTheModelAndTheInfoMarkExplains)
{
    MainView& main = showView();
    dropPictures(4);
    BottomBar& bar = *main.bottomBar();
    ColourOnlyToggle& toggle = *bar.colourOnly();
    ASSERT_TRUE(toggle.isVisible());
    // Never ticked before: the explainer comes first and the switch stays off.
    toggle.boxSwitch()->click();
    settle();
    EXPECT_FALSE(toggle.boxSwitch()->isOn());
    EXPECT_FALSE(model->colourOnlyOn());
    EXPECT_EQ(main.presenter().currentName(), "colour explainer");
    model->confirmColourExplainer();
    settle();
    EXPECT_EQ(main.presenter().current(), nullptr);
    ASSERT_TRUE(model->colourOnlyInForce());
    EXPECT_TRUE(toggle.boxSwitch()->isOn());
    EXPECT_EQ(bar.statusLabel()->text(), "4 images · 4 to grade on this computer · no shots");
    EXPECT_EQ(bar.processButton()->fullText(), "process 4");
    screenshots::capture(main, "main-colour-only-1200x800");

    // Once confirmed, a click turns it off and on at once; "i" explains whatever it shows.
    toggle.boxSwitch()->click();
    settle();
    EXPECT_FALSE(model->colourOnlyOn());
    toggle.boxSwitch()->click();
    settle();
    EXPECT_TRUE(model->colourOnlyOn());
    toggle.infoMark()->click();
    settle();
    EXPECT_EQ(main.presenter().currentName(), "colour explainer");
    model->setShowColourExplainer(false);
    settle();

    // Colour only in force: "process 4" grades at once, with no confirm sheet.
    bar.processButton()->click();
    settle();
    EXPECT_FALSE(model->showConfirm());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    ASSERT_TRUE(runUntil([&] { return model->inFlightCount() == 0 && model->tasks().runningCount() == 0; }));
    settle();
    EXPECT_EQ(model->itemsWithResult().size(), 4u);
}

} // namespace
} // namespace oxel::testing
