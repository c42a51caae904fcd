// Every sheet as the keyboard meets it: where the focus starts, what Return and Escape do, and
// that no key reaches a control the person did not choose.
#include "SheetFixture.h"

#include "sheets/AccountSheet.h"
#include "sheets/BatchRow.h"
#include "sheets/BatchesSheet.h"
#include "sheets/ColourExplainerSheet.h"
#include "sheets/ConfirmSheet.h"
#include "sheets/CreditsSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/RenameSheet.h"
#include "sheets/SetupSheet.h"
#include "ui/kit/BoxedField.h"

#include <QLineEdit>
#include <QMenu>
#include <QWindow>

using namespace oxel;
using namespace oxel::testing;

namespace {

class SheetKeysTest : public SheetTest {
public:
    // Opens the sheet and makes it the active window, as the window manager does.
    template <typename Sheet>
    QPointer<Sheet> shown(Sheet* sheet)
    {
        auto opened = SheetTest::opened(sheet);
        sheet->activateWindow();
        QApplication::setActiveWindow(sheet);
        QApplication::processEvents();
        return opened;
    }

    // A key as the keyboard gives it: to the sheet's window, which hands it to its focus.
    static void press(QWidget& sheet, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(sheet.windowHandle(), key, modifiers);
        settle();
    }

    static void type(QWidget& sheet, const char* text)
    {
        for (const char* character = text; *character; ++character) QTest::keyClick(sheet.windowHandle(), *character);
    }

    // The sheet holds the focus itself: on none of its controls.
    static bool focusOnNoControl(QWidget& sheet) { return QApplication::focusWidget() == &sheet; }

    bool stored(const char* key) { return defaults().contains(key); }
};

TEST_F(SheetKeysTest, AccountSheetReturnIsDoneAndNeverSignsOut)
{
    model->setShowAccount(true);
    auto sheet = shown(new AccountSheet(*model, &window));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    EXPECT_EQ(sheet->defaultButton(), shownButton(*sheet, "done"));
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showAccount());
    EXPECT_EQ(model->auth().state().which(), AuthState::Case::signedIn);
    EXPECT_TRUE(stored("userId"));

    model->setShowAccount(true);
    sheet = shown(new AccountSheet(*model, &window));
    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->auth().state().which(), AuthState::Case::signedIn);
}

TEST_F(SheetKeysTest, ConfirmSheetReturnProcessesAndLeavesTheGrainAlone)
{
    drop({writeJPEG("a.jpg")});
    setBalance(3);
    model->setShowConfirm(true);
    auto sheet = shown(new ConfirmSheet(*model, &window));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->screen(), AppModel::Screen::input) << "Escape is not yet";

    model->setShowConfirm(true);
    sheet = shown(new ConfirmSheet(*model, &window));
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(stored("grainEnabled")) << "no key reached the grain switch";
    EXPECT_EQ(model->screen(), AppModel::Screen::results) << "Return is process";
}

TEST_F(SheetKeysTest, ConfirmSheetReturnDoesNothingWhileProcessCannotAct)
{
    drop({writeJPEG("a.jpg")});
    setBalance(0);
    model->setShowConfirm(true);
    auto sheet = shown(new ConfirmSheet(*model, &window));
    press(*sheet, Qt::Key_Return);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
    sheet->reject();
    settle();
}

TEST_F(SheetKeysTest, ColourExplainerReturnIsGotIt)
{
    model->setShowColourExplainer(true);
    auto sheet = shown(new ColourExplainerSheet(*model, &window));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    EXPECT_EQ(sheet->defaultButton(), shownButton(*sheet, "got it"));
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showColourExplainer());
    EXPECT_EQ(model->colourOnlyOn(), !model->colourOnlyMissing()) << "got it, never not now";
}

TEST_F(SheetKeysTest, ExportSheetReturnAsksForTheFolderAndTouchesNoSetting)
{
    ScriptedFolderPanel panel;
    model->setShowExport(true);
    auto sheet = shown(new ExportSheet(*model, panel, &window));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    press(*sheet, Qt::Key_Return);
    EXPECT_EQ(panel.asked.size(), 1u) << "Return is export";
    EXPECT_FALSE(stored("exportFormats"));
    ASSERT_FALSE(sheet.isNull()) << "a cancelled folder panel leaves the sheet open";
    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showExport());
}

TEST_F(SheetKeysTest, RenameSheetStartsInTheFieldAndEscapeLeavesTheName)
{
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    const std::string before = model->batch()->name;
    model->setShowRename(true);
    auto sheet = shown(new RenameSheet(*model, &window));
    EXPECT_EQ(QApplication::focusWidget(), sheet->field()->editor());
    type(*sheet, "x");
    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->batch()->name, before);

    model->setShowRename(true);
    sheet = shown(new RenameSheet(*model, &window));
    sheet->field()->editor()->selectAll();
    type(*sheet, "harbour");
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->batch()->name, "harbour");
}

TEST_F(SheetKeysTest, SetupSheetReturnIsDone)
{
    model->setSetupGuide(HandoffApp::shotwell);
    auto sheet = shown(new SetupSheet(*model, HandoffApp::shotwell, &window, "/opt/oxel/bin/oxel-pro-darktable"));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->setupGuide());
}

TEST_F(SheetKeysTest, ShopHasNoDefaultSoReturnDoesNothing)
{
    model->setShowCredits(true);
    auto sheet = shown(new CreditsSheet(*model, &window, "EUR"));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    EXPECT_FALSE(sheet->defaultButton());
    press(*sheet, Qt::Key_Return);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(model->showCredits());
    EXPECT_TRUE(openedURLs.empty());
    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showCredits());
}

TEST_F(SheetKeysTest, TabReachesTheControlsAndReturnActsOnTheOneChosen)
{
    model->setShowAccount(true);
    auto sheet = shown(new AccountSheet(*model, &window));
    press(*sheet, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), shownButton(*sheet, "sign out"));
    press(*sheet, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), shownButton(*sheet, "done"));
    press(*sheet, Qt::Key_Backtab);
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->auth().state(), AuthState::signedOut()) << "sign out, chosen by the keyboard, signs out";
}

class BatchesKeysTest : public SheetKeysTest {
public:
    QPointer<BatchesSheet> openSheet()
    {
        await(model->refreshRecent());
        model->setShowBatches(true);
        return shown(new BatchesSheet(
            *model, panels, [this](const std::filesystem::path& path) { revealed.push_back(path); }, &window));
    }

    // Stores a batch named `name` and opens a new, empty one.
    void storeBatch(const std::string& name)
    {
        drop({writeJPEG(name + ".jpg")});
        model->ensureBatchStored();
        model->renameBatch(name);
        model->saveNow();
        library.drain();
        model->newBatch();
    }

    std::vector<std::filesystem::path> revealed;
};

TEST_F(BatchesKeysTest, ReturnClosesWithoutOpeningOrShowingAnything)
{
    storeBatch("harbour");
    auto sheet = openSheet();
    EXPECT_TRUE(focusOnNoControl(*sheet));
    const auto opened = model->batch();
    press(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_TRUE(revealed.empty());
    EXPECT_EQ(model->batch().has_value(), opened.has_value()) << "no batch opened";
}

TEST_F(BatchesKeysTest, EscapeInTheNameFieldEndsTheEditingAndASecondOneClosesTheSheet)
{
    storeBatch("harbour");
    auto sheet = openSheet();
    const BatchSummary summary = model->recent().front();
    sheet->menuFor(summary)->actions().at(1)->trigger();
    ASSERT_TRUE(sheet->row(summary.id())->field());
    EXPECT_EQ(QApplication::focusWidget(), sheet->row(summary.id())->field()->editor());
    type(*sheet, " at dusk");
    press(*sheet, Qt::Key_Escape);
    ASSERT_FALSE(sheet.isNull()) << "the first Escape belongs to the field";
    EXPECT_FALSE(sheet->renaming());
    EXPECT_FALSE(sheet->row(summary.id())->field());
    EXPECT_TRUE(shownTexts(*sheet->row(summary.id())).contains("harbour"));
    EXPECT_TRUE(focusOnNoControl(*sheet));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(model->recent().front().record.name, "harbour");

    // Return commits, and the sheet stays open. The old name is selected: typing replaces it.
    sheet->menuFor(summary)->actions().at(1)->trigger();
    type(*sheet, "harbour at dusk");
    press(*sheet, Qt::Key_Return);
    ASSERT_FALSE(sheet.isNull()) << "Return in the field renames; it does not close the sheet";
    EXPECT_FALSE(sheet->row(summary.id())->field());
    ASSERT_TRUE(runUntil([&] { return model->recent().front().record.name == "harbour at dusk"; }));

    press(*sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showBatches());
}

// The library's rows are made after the sheet's buttons, and again as each size arrives: Tab
// still goes down the rows to the buttons.
TEST_F(BatchesKeysTest, TabGoesDownRowsMadeLateBeforeTheButtons)
{
    storeBatch("harbour");
    storeBatch("dunes");
    auto sheet = openSheet();
    ASSERT_TRUE(runThenShow([&] { return sheet->sizes().size() == 2; }));
    QStringList reached;
    for (int stop = 0; stop < 5; ++stop) {
        press(*sheet, Qt::Key_Tab);
        auto* button = qobject_cast<SheetButton*>(QApplication::focusWidget());
        reached << (button ? button->label() : QStringLiteral("?"));
    }
    EXPECT_EQ(reached.join(", ").toStdString(), "open, open, show the library folder, close, open");
}

} // namespace
