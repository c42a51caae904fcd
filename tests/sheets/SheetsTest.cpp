#include "SheetFixture.h"

#include "support/TemporaryFolder.h"

#include "backend/BackendBaseURL.h"
#include "backend/KeychainAccount.h"
#include "sheets/AccountSheet.h"
#include "sheets/ColourExplainerSheet.h"
#include "sheets/ConfirmSheet.h"
#include "sheets/CreditsSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/RenameSheet.h"
#include "sheets/SelectableText.h"
#include "sheets/SetupSheet.h"
#include "ui/kit/BoxMultiChoice.h"
#include "ui/kit/BoxOption.h"
#include "ui/kit/BoxSwitch.h"
#include "ui/kit/BoxedField.h"
#include "ui/kit/DigitsLabel.h"
#include "ui/kit/SheetFrame.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>

#include <fstream>

using namespace oxel;
using namespace oxel::testing;
using namespace std::chrono_literals;

namespace {

// The quality as the settings file on disk holds it, not as the store holds it in memory.
std::optional<double> writtenQuality(const SettingsStore& store)
{
    std::ifstream file(store.file());
    const auto values = nlohmann::json::parse(file, nullptr, false);
    if (!values.is_object() || !values.contains("exportJpegQuality")) return std::nullopt;
    return values["exportJpegQuality"].get<double>();
}

BoxSwitch* switchLabelled(QWidget& sheet, const QString& label)
{
    for (auto* box : sheet.findChildren<BoxSwitch*>()) {
        auto* row = box->parentWidget();
        for (auto* text : row->findChildren<TextLabel*>())
            if (text->text() == label) return box;
    }
    return nullptr;
}

} // namespace

TEST_F(SheetTest, ExportSheetKeepsOneFormatChosenAndStoresEveryChangeAtOnce)
{
    ScriptedFolderPanel panel;
    model->setShowExport(true);
    auto sheet = opened(new ExportSheet(*model, panel, &window));
    EXPECT_EQ(sheet->width(), 520);
    EXPECT_EQ(sheet->frame()->title()->text(), "export 0 results");
    auto* formats = sheet->findChild<BoxMultiChoice*>();
    ASSERT_TRUE(formats);
    EXPECT_EQ(formats->selection(), std::set<int>{0});
    QTest::mouseClick(formats->option(0), Qt::LeftButton);
    EXPECT_EQ(formats->selection(), std::set<int>{0}) << "the only chosen format stays chosen";
    EXPECT_FALSE(defaults().contains("exportFormats"));

    const int psdOnlyHeight = sheet->height();
    QTest::mouseClick(formats->option(2), Qt::LeftButton); // jpeg
    EXPECT_EQ(defaults().stringValue("exportFormats"), "psd,jpeg");
    EXPECT_TRUE(shownTexts(*sheet).contains("formats · each into its own folder"));
    EXPECT_TRUE(shownTexts(*sheet).contains("quality"));
    EXPECT_TRUE(shownButton(*sheet, "export psd and jpeg…"));
    QApplication::processEvents();
    EXPECT_GT(sheet->height(), psdOnlyHeight) << "the sheet grows with its sections";

    auto* slider = sheet->findChild<QSlider*>();
    ASSERT_TRUE(slider);
    slider->setSliderDown(true); // a drag
    for (int value = 900; value >= 800; value -= 10) slider->setValue(value);
    EXPECT_DOUBLE_EQ(*defaults().doubleValue("exportJpegQuality"), 0.8);
    EXPECT_NE(writtenQuality(defaults()), 0.8) << "not written on every step";
    slider->setSliderDown(false);
    EXPECT_EQ(writtenQuality(defaults()), 0.8) << "written once the slider is let go";

    click(switchLabelled(*sheet, "film grain"));
    EXPECT_EQ(defaults().boolValue("grainEnabled"), false);
    slider->setValue(850); // a key
    EXPECT_NE(writtenQuality(defaults()), 0.85);

    click(shownButton(*sheet, "cancel"));
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showExport());
    EXPECT_EQ(defaults().stringValue("exportFormats"), "psd,jpeg") << "a cancelled sheet keeps its settings";
    EXPECT_EQ(writtenQuality(defaults()), 0.85) << "written when the sheet closes";
}

TEST_F(SheetTest, ExportSheetAsksForAFolderStaysOpenWhenCancelledAndExportsEachFormatIntoItsFolder)
{
    drop({writeJPEG("harbour.jpg")});
    setBalance(5);
    model->process();
    ASSERT_TRUE(runUntil([&] { return model->itemsWithResult().size() == 1 && model->inFlightCount() == 0; }));
    defaults().set("exportFormats", "png,jpeg");
    defaults().set("exportColour", "sRGB");
    ScriptedFolderPanel panel;
    model->setShowExport(true);
    auto sheet = opened(new ExportSheet(*model, panel, &window));
    EXPECT_EQ(sheet->frame()->title()->text(), "export 1 result");

    click(shownButton(*sheet, "export jpeg and png…"));
    settle();
    ASSERT_EQ(panel.asked.size(), 1u);
    EXPECT_EQ(panel.asked[0].first, "jpeg and png, each into its own folder in the one you choose");
    EXPECT_EQ(panel.startedIn[0], exportPanelFolder(std::nullopt)) << "the pictures folder at first";
    EXPECT_NE(panel.startedIn[0], std::filesystem::current_path());
    EXPECT_EQ(panel.asked[0].second, "export here");
    ASSERT_FALSE(sheet.isNull()) << "a cancelled panel leaves the sheet open";
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(model->exportsPending(), 0);

    panel.choices.push_back(folder / "exports");
    click(shownButton(*sheet, "export jpeg and png…"));
    EXPECT_FALSE(model->showExport()) << "the sheet closed before the export started";
    ASSERT_TRUE(runUntil([&] { return model->exportsPending() == 0; }));
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "exports" / "jpeg" / "harbour-oxel.jpg"));
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "exports" / "png" / "harbour-oxel.png"));
    settle();
    EXPECT_TRUE(sheet.isNull());

    // The next export starts where this one went.
    auto again = opened(new ExportSheet(*model, panel, &window));
    click(shownButton(*again, "export jpeg and png…"));
    ASSERT_EQ(panel.startedIn.size(), 3u);
    EXPECT_EQ(panel.startedIn[2], folder / "exports");
    again->reject();
    settle();
}

TEST(ExportPanelFolder, TheLastExportFolderWhileItLastsElseTheXdgPicturesFolder)
{
    oxel::testing::TemporaryFolder folder;
    const auto pictures = folder.path() / "my pictures";
    std::filesystem::create_directories(pictures);
    std::filesystem::create_directories(folder.path() / "config");
    std::ofstream(folder.path() / "config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << pictures.string() << "\"\n";
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((folder.path() / "config").string()));
    EXPECT_EQ(exportPanelFolder(std::nullopt), pictures);
    EXPECT_EQ(exportPanelFolder(folder.path()), folder.path());
    EXPECT_EQ(exportPanelFolder(folder.path() / "gone"), pictures);
    if (previous.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previous);
}

TEST_F(SheetTest, ExportSheetMentionsComparingOnlyAfterAWeekWithoutIt)
{
    ScriptedFolderPanel panel;
    const QString mention = "worth a look first: hold space on the sheet to see each original under its result.";
    model->settings().setCompareLastUsed(std::chrono::system_clock::now() - 3 * 24h);
    auto recent = opened(new ExportSheet(*model, panel, &window));
    EXPECT_FALSE(shownTexts(*recent).contains(mention));
    recent->reject();

    model->settings().setCompareLastUsed(std::chrono::system_clock::now() - 8 * 24h);
    auto old = opened(new ExportSheet(*model, panel, &window));
    EXPECT_TRUE(shownTexts(*old).contains(mention));
    old->reject();

    // Compared in this batch: no mention, however long ago the stored compare was.
    model->compareCoach().compared();
    model->settings().setCompareLastUsed(std::chrono::system_clock::now() - 8 * 24h);
    auto compared = opened(new ExportSheet(*model, panel, &window));
    EXPECT_FALSE(shownTexts(*compared).contains(mention));
    compared->reject();
    settle();
}

// Qt places a sheet over its window as it shows it: one that grows afterwards is placed for a
// smaller sheet (and a window manager may put it in the screen's corner).
TEST_F(SheetTest, ExportSheetIsShownAtItsFinalSize)
{
    // The compare mention is due, so the sheet is taller than it was made.
    ScriptedFolderPanel panel;
    model->settings().setCompareLastUsed(std::chrono::system_clock::now() - 8 * 24h);
    struct SizeAtShow : QObject {
        QSize size;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show) size = static_cast<QWidget*>(watched)->size();
            return false;
        }
    } atShow;
    auto* sheet = new ExportSheet(*model, panel, &window);
    sheet->installEventFilter(&atShow);
    auto shown = opened(sheet);
    settle();
    EXPECT_EQ(atShow.size, shown->size());
    shown->removeEventFilter(&atShow);
    shown->reject();
    settle();
}

TEST_F(SheetTest, ConfirmSheetFollowsTheBalanceAndGoesToTheShop)
{
    drop({writeJPEG("a.jpg"), writeJPEG("b.jpg")});
    model->setShowConfirm(true);
    auto sheet = opened(new ConfirmSheet(*model, &window));
    EXPECT_GE(sheet->width(), 380);
    // The film-grain words are whole: the sheet widens for them rather than cut them.
    const auto wholeText = [&](const std::string& words) {
        for (auto* label : sheet->findChildren<TextLabel*>())
            if (label->text() == QString::fromStdString(words) && label->isVisibleTo(sheet))
                return label->width() >= label->sizeHint().width();
        return false;
    };
    EXPECT_TRUE(wholeText(grainDescription(true)));
    EXPECT_EQ(sheet->frame()->title()->text(), "process 2 images");
    EXPECT_TRUE(shownTexts(*sheet).contains("2 shots from the roll · 0 left after"));
    EXPECT_TRUE(shownTexts(*sheet).contains(
        "not enough shots for the whole batch. the first 0 will run; buy more for the rest."));
    EXPECT_FALSE(shownButton(*sheet, "process")->isEnabled()) << "no balance yet counts as none";

    setBalance(10);
    EXPECT_TRUE(shownTexts(*sheet).contains("2 shots from the roll · 8 left after"));
    EXPECT_FALSE(shownButton(*sheet, "buy shots"));
    EXPECT_TRUE(shownButton(*sheet, "process")->isEnabled());
    EXPECT_EQ(shownButtons(*sheet), (QStringList{"not yet", "process"}));

    click(switchLabelled(*sheet, "film grain"));
    EXPECT_EQ(defaults().boolValue("grainEnabled"), false);
    EXPECT_TRUE(shownTexts(*sheet).contains("the grain layer is kept, hidden"));
    QApplication::processEvents();
    EXPECT_EQ(sheet->width(), 380) << "the shorter words fit the narrowest sheet";

    setBalance(1);
    click(shownButton(*sheet, "buy shots"));
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showConfirm());
    EXPECT_TRUE(model->showCredits());
}

TEST_F(SheetTest, TheConfirmSheetAndTheShopFetchARollNotYetKnown)
{
    const auto held = backend.state().account(account.userId)->balance;
    drop({writeJPEG("a.jpg")});
    model->setShowConfirm(true);
    auto confirm = opened(new ConfirmSheet(*model, &window));
    ASSERT_TRUE(runThenShow([&] { return model->balance().has_value(); }));
    EXPECT_TRUE(shownTexts(*confirm).contains(
        QString::fromStdString("1 shot from the roll · " + std::to_string(held - 1) + " left after")));
    EXPECT_TRUE(shownButton(*confirm, "process")->isEnabled());
    confirm->reject();
    settle();

    makeModel();
    model->setShowCredits(true);
    auto shop = opened(new CreditsSheet(*model, &window));
    ASSERT_TRUE(runThenShow([&] { return model->balance().has_value(); }));
    EXPECT_TRUE(shownTexts(*shop).contains(QString::fromStdString(std::to_string(held) + " shots in the roll")));
}

TEST_F(SheetTest, ConfirmSheetProcessClosesThenDevelops)
{
    drop({writeJPEG("a.jpg")});
    setBalance(3);
    model->setShowConfirm(true);
    auto sheet = opened(new ConfirmSheet(*model, &window));
    click(shownButton(*sheet, "process"));
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showConfirm());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
}

TEST(ConfirmState, TheRollAgainstTheBatch)
{
    auto state = confirmState(3, 10);
    EXPECT_EQ(state.shots, "3 shots from the roll · 7 left after");
    EXPECT_FALSE(state.warning || state.buyShots);
    EXPECT_TRUE(state.processEnabled);
    state = confirmState(1, 1);
    EXPECT_EQ(state.title, "process 1 image");
    EXPECT_EQ(state.shots, "1 shot from the roll · 0 left after");
    EXPECT_FALSE(state.warning);
    state = confirmState(12, 5);
    EXPECT_EQ(state.shots, "12 shots from the roll · 0 left after");
    EXPECT_EQ(state.warning, "not enough shots for the whole batch. the first 5 will run; buy more for the rest.");
    EXPECT_TRUE(state.buyShots && state.processEnabled);
    state = confirmState(4, 0);
    EXPECT_EQ(state.warning, "not enough shots for the whole batch. the first 0 will run; buy more for the rest.");
    EXPECT_FALSE(state.processEnabled);
    state = confirmState(2, std::nullopt);
    EXPECT_EQ(state.shots, "2 shots from the roll · 0 left after");
    EXPECT_TRUE(state.buyShots);
    EXPECT_FALSE(state.processEnabled);
    state = confirmState(0, 6);
    EXPECT_EQ(state.title, "process 0 images");
    EXPECT_EQ(state.shots, "0 shots from the roll · 6 left after");
    EXPECT_EQ(grainDescription(false), "the grain layer is kept, hidden");
    EXPECT_EQ(grainDescription(true), "a grain layer, the grain oxel chooses for each picture");
}

TEST_F(SheetTest, AccountSheetNamesTheProviderAndSignsOut)
{
    defaults().set("signInProvider", "google");
    model->setShowAccount(true);
    const BuildInfo noVersion(std::map<std::string, std::string, std::less<>>{{"CFBundleVersion", "140"}});
    auto sheet = opened(new AccountSheet(*model, &window, noVersion));
    const std::string id = std::to_string(account.userId);
    EXPECT_TRUE(shownTexts(*sheet).contains(QString::fromStdString("signed in with google · account " + id)));
    EXPECT_TRUE(shownTexts(*sheet).contains(QString::fromStdString("oxel pro 0 (140) · " + backendBaseURL())));

    click(shownButton(*sheet, "sign out"));
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showAccount());
    EXPECT_EQ(model->auth().state(), AuthState::signedOut());
    EXPECT_FALSE(defaults().contains("userId"));
    EXPECT_FALSE(defaults().contains("signInProvider"));

    EXPECT_EQ(signInLine(std::nullopt, AuthState::waitlisted("42")), "signed in with oxel · account 42");
    EXPECT_EQ(signInLine("apple", AuthState::signedOut()), "signed in with apple · account ?");
}

TEST_F(SheetTest, RenameSheetWithoutABatchClosesOnReturnEvenWhenBlank)
{
    model->setShowRename(true);
    auto sheet = opened(new RenameSheet(*model, &window));
    QLineEdit* editor = sheet->field()->editor();
    EXPECT_EQ(editor->text(), "") << "no batch open";
    EXPECT_FALSE(shownButton(*sheet, "rename")->isEnabled());
    editor->setText(" \t ");
    EXPECT_FALSE(shownButton(*sheet, "rename")->isEnabled());
    editor->setText("harbour");
    EXPECT_TRUE(shownButton(*sheet, "rename")->isEnabled());
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showRename());
    EXPECT_FALSE(model->batch()) << "renaming without a batch does nothing";
    EXPECT_TRUE(renameable(" a ") && !renameable("\t \t"));
}

TEST_F(SheetTest, RenameSheetStoresTheTrimmedNameAndCancelLeavesItAlone)
{
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    const std::string before = model->batch()->name;
    auto cancelled = opened(new RenameSheet(*model, &window));
    EXPECT_EQ(cancelled->field()->editor()->text().toStdString(), before);
    cancelled->field()->editor()->setText("never");
    click(shownButton(*cancelled, "cancel"));
    settle();
    EXPECT_EQ(model->batch()->name, before);

    auto blank = opened(new RenameSheet(*model, &window));
    blank->field()->editor()->setText("   ");
    QTest::keyClick(blank->field()->editor(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(blank.isNull()) << "Return renames even while the button is off";
    EXPECT_EQ(model->batch()->name, before) << "the model ignores a blank name";

    auto sheet = opened(new RenameSheet(*model, &window));
    sheet->field()->editor()->setText("  harbour at dusk \t");
    click(shownButton(*sheet, "rename"));
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(model->batch()->name, "harbour at dusk");
    EXPECT_EQ(model->batch()->nameSource, BatchRecord::NameSource::person);
}

TEST_F(SheetTest, SetupSheetShowsTheStepsOfItsHostAndWrapsLongSteps)
{
    for (HandoffApp app : allHandoffApps) {
        model->setSetupGuide(app);
        auto sheet = opened(new SetupSheet(*model, app, &window, "/opt/oxel/bin/oxel-pro-darktable"));
        EXPECT_EQ(sheet->width(), 500);
        EXPECT_EQ(sheet->frame()->title()->text(), QString("set up ") + QString::fromUtf8(displayName(app).data()));
        const size_t steps = setupSteps(app, "/x").size();
        EXPECT_EQ(steps, app == HandoffApp::other ? 3u : 4u);
        for (size_t number = 1; number <= steps; ++number) {
            bool found = false;
            for (auto* figure : sheet->findChildren<DigitsLabel*>()) found |= figure->text() == QString::number(number);
            EXPECT_TRUE(found) << number;
        }
        // Every step is shown whole, and can be selected and copied (a path, a command line).
        const auto texts = sheet->findChildren<SelectableText*>();
        EXPECT_EQ(texts.size(), qsizetype(steps));
        for (auto* step : texts) {
            EXPECT_GE(step->height(), step->heightForWidth(step->width())) << step->text().toStdString();
            EXPECT_TRUE(step->textInteractionFlags() & Qt::TextSelectableByMouse);
        }
        click(shownButton(*sheet, "done"));
        settle();
        EXPECT_FALSE(model->setupGuide());
    }
    model->setSetupGuide(HandoffApp::darktable);
    auto darktable = opened(new SetupSheet(*model, HandoffApp::darktable, &window, "/opt/oxel/bin/oxel-pro-darktable"));
    auto* path = darktable->findChildren<SelectableText*>().at(1);
    path->setSelection(0, int(path->text().size()));
    EXPECT_TRUE(path->selectedText().contains("/opt/oxel/bin/oxel-pro-darktable"));
    darktable->reject();
    settle();
    EXPECT_NE(setupSteps(HandoffApp::darktable, "/opt/oxel/bin/oxel-pro-darktable")[1].find(
                  "set its executable to /opt/oxel/bin/oxel-pro-darktable."),
              std::string::npos);
}

TEST_F(SheetTest, ColourExplainerOffersOnlyGotItWithAReasonAndClosesWithItsFlag)
{
    model->setShowColourExplainer(true);
    auto sheet = opened(new ColourExplainerSheet(*model, &window));
    EXPECT_EQ(sheet->width(), 440);
    EXPECT_TRUE(shownTexts(*sheet).contains(
        "this computer grades it in a few seconds. the picture never leaves it. no shot used."));
    if (model->colourOnlyMissing()) {
        EXPECT_EQ(shownButtons(*sheet), QStringList{"got it"});
        EXPECT_TRUE(shownTexts(*sheet).contains(QString::fromStdString(*model->colourOnlyMissing())));
    } else {
        EXPECT_EQ(shownButtons(*sheet), (QStringList{"not now", "got it"}));
        click(shownButton(*sheet, "not now"));
        settle();
        EXPECT_TRUE(sheet.isNull());
        EXPECT_FALSE(model->showColourExplainer());
        EXPECT_FALSE(model->colourOnlyOn()) << "not now changes nothing";
        model->setShowColourExplainer(true);
        sheet = opened(new ColourExplainerSheet(*model, &window));
    }
    click(shownButton(*sheet, "got it"));
    settle();
    EXPECT_TRUE(sheet.isNull()) << "the model clears the flag, which closes the sheet";
    EXPECT_FALSE(model->showColourExplainer());
    EXPECT_EQ(model->colourOnlyOn(), !model->colourOnlyMissing()) << "with a reason, got it only acknowledges";
}
