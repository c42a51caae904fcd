// The window's eight sheets, each presented from its model flag over the main view.
#include "MainViewFixture.h"

#include "app/SheetPresenter.h"
#include "sheets/ConfirmSheet.h"
#include "ui/kit/SheetButton.h"

#include <QDialog>

namespace oxel::testing {
namespace {

struct FlagCase {
    std::string sheet;
    std::function<void(AppModel&)> raise;
    std::function<bool(AppModel&)> isUp;
};

std::vector<FlagCase> everyFlag()
{
    return {
        {"confirm", [](AppModel& m) { m.setShowConfirm(true); }, [](AppModel& m) { return m.showConfirm(); }},
        {"export", [](AppModel& m) { m.setShowExport(true); }, [](AppModel& m) { return m.showExport(); }},
        {"credits", [](AppModel& m) { m.setShowCredits(true); }, [](AppModel& m) { return m.showCredits(); }},
        {"account", [](AppModel& m) { m.setShowAccount(true); }, [](AppModel& m) { return m.showAccount(); }},
        {"batches", [](AppModel& m) { m.setShowBatches(true); }, [](AppModel& m) { return m.showBatches(); }},
        {"rename", [](AppModel& m) { m.setShowRename(true); }, [](AppModel& m) { return m.showRename(); }},
        {"setup", [](AppModel& m) { m.setSetupGuide(HandoffApp::darktable); },
         [](AppModel& m) { return m.setupGuide().has_value(); }},
        {"colour explainer", [](AppModel& m) { m.setShowColourExplainer(true); },
         [](AppModel& m) { return m.showColourExplainer(); }},
    };
}

TEST_F(MainViewTest, EachFlagPresentsItsSheetAndEscapeLowersIt)
{
    MainView& main = showView();
    dropPictures(1);
    model->ensureBatchStored();
    for (const FlagCase& flag : everyFlag()) {
        SCOPED_TRACE(flag.sheet);
        flag.raise(*model);
        settle();
        ASSERT_EQ(main.presenter().currentName(), flag.sheet);
        QPointer<QDialog> sheet = main.presenter().current();
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(sheet->window()->parentWidget()->window(), main.window());
        QTest::keyClick(sheet, Qt::Key_Escape);
        settle();
        EXPECT_FALSE(flag.isUp(*model));
        EXPECT_EQ(main.presenter().current(), nullptr);
        EXPECT_TRUE(!sheet || !sheet->isVisible());
    }
}

TEST_F(MainViewTest, TheModelClosesItsSheetAndAFlagRaisedEarlyShowsOnArrival)
{
    model->setShowAccount(true);
    MainView& main = showView();
    ASSERT_EQ(main.presenter().currentName(), "account");
    QPointer<QDialog> account = main.presenter().current();
    model->setShowAccount(false);
    settle();
    EXPECT_TRUE(!account || !account->isVisible());
    EXPECT_EQ(main.presenter().current(), nullptr);
}

TEST_F(MainViewTest, BuyShotsInTheConfirmSheetOpensTheShop)
{
    MainView& main = showView();
    dropPictures(2);
    main.bottomBar();
    model->setShowConfirm(true);
    settle();
    auto* confirm = qobject_cast<ConfirmSheet*>(main.presenter().current());
    ASSERT_TRUE(confirm);
    SheetButton* buy = nullptr;
    for (auto* button : confirm->findChildren<SheetButton*>())
        if (button->text() == "buy shots") buy = button;
    ASSERT_TRUE(buy);
    buy->click();
    settle();
    EXPECT_FALSE(model->showConfirm());
    EXPECT_TRUE(model->showCredits());
    EXPECT_EQ(main.presenter().currentName(), "credits");
}

} // namespace
} // namespace oxel::testing
