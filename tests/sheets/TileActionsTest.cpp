// A tile's requests reaching the real application model, through the grid that places the tiles
// and the context menu's actions: the lightbox, retry, the nudge, the light track, show in folder,
// the single export with a scripted save panel, and removal.
#include "sheets/TileActions.h"

#include "sheets/ScriptedSavePanel.h"
#include "sheets/TileClock.h"
#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "support/ModelFixture.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/ColourRow.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QTest>

namespace oxel {
namespace {

using testing::ScriptedSavePanel;

class TileActionsTest : public testing::ModelTest {
protected:
    TileActionsTest()
    {
        makeModel();
        actions = std::make_unique<TileActions>(
            *model, savePanel, [this](const std::filesystem::path& file) { revealed.push_back(file); });
    }
    ~TileActionsTest() override
    {
        grid.reset();
        actions.reset();
    }

    // The grid over the model's batch, and the tile it made for an item.
    TileView& tileOf(const std::shared_ptr<BatchItem>& item)
    {
        if (!grid) {
            grid = std::make_unique<TileGrid>(*model);
            grid->resize(1200, 800);
            grid->show();
        }
        grid->refreshNow();
        TileView* tile = grid->tileFor(item->id);
        EXPECT_NE(tile, nullptr);
        return *tile;
    }

    // One photograph developed by the local backend.
    std::shared_ptr<BatchItem> developed(const std::string& name = "a.b.c.jpg")
    {
        drop({writeJPEG("in/" + name)});
        model->process();
        auto item = model->items().back();
        runUntilOrStop([&] { return item->result() != nullptr; }, "the picture was not developed");
        return item;
    }

    ScriptedSavePanel savePanel;
    std::vector<std::filesystem::path> revealed;
    std::unique_ptr<TileActions> actions;
    std::unique_ptr<TileGrid> grid;
};

TEST_F(TileActionsTest, DoubleClickOpensTheLightboxAndRetryQueuesAFailedPhotographAgain)
{
    drop({writeJPEG("in/a.jpg")});
    auto item = model->items().front();
    item->setPhase(phase::Failed{std::nullopt, "the server is busy", true, false});
    TileView& tile = tileOf(item);
    QTest::mouseDClick(&tile, Qt::LeftButton, {}, tile.pictureBlockRect().center());
    EXPECT_EQ(model->lightbox(), item);

    int retries = 0;
    for (auto* button : tile.findChildren<QAbstractButton*>())
        if (button->text() == "retry" && !button->isHidden()) {
            QTest::mouseClick(button, Qt::LeftButton);
            ++retries;
        }
    ASSERT_EQ(retries, 1);
    EXPECT_TRUE(runUntil([&] { return item->phase().isInFlight() || item->result(); })) << "retry reached the model";
}

TEST_F(TileActionsTest, TheNudgeEditAndRelinkGoThroughTheModelAndMarkTheItemToBeSaved)
{
    drop({writeJPEG("in/a.jpg")});
    model->ensureBatchStored();
    auto item = model->items().front();
    TileView& tile = tileOf(item);
    auto* editor = tile.findChild<NudgeEditor*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor->editor(), "warmer light");
    EXPECT_EQ(item->effectiveNudge(model->globalNudge()), "warmer light");
    EXPECT_TRUE(model->saving().dirty().contains(item->id));

    // Rewriting the start of a batch nudge unlinks the item; "relink" follows the batch again.
    model->setGlobalNudge("softer");
    grid->refreshNow();
    editor->editor()->selectAll();
    QTest::keyClicks(editor->editor(), "harder");
    ASSERT_EQ(item->unlinkedNudge(), "harder");
    model->saveNow();
    EXPECT_FALSE(model->saving().dirty().contains(item->id));
    for (auto* button : tile.findChildren<QAbstractButton*>())
        if (button->text() == "relink") QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(item->unlinkedNudge(), std::nullopt);
    EXPECT_TRUE(model->saving().dirty().contains(item->id));

    // Text the item already holds, or a relink of a linked item, is no edit.
    model->saveNow();
    model->setNudge(item->effectiveNudge(model->globalNudge()), item);
    model->relinkNudge(item);
    EXPECT_FALSE(model->saving().dirty().contains(item->id));
}

TEST_F(TileActionsTest, TheLightTrackSetsTheStrengthAndItsDoubleClickGoesBackToTheBatch)
{
    auto item = developed();
    TileView& tile = tileOf(item);
    auto* track = tile.findChild<StrengthTrack*>();
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(track->trackEnabled());
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() / 5, track->height() / 2));
    EXPECT_TRUE(item->strengthTouched());
    EXPECT_LT(model->strength(*item), 0.5);
    EXPECT_TRUE(model->saving().dirty().contains(item->id));

    QTest::mouseDClick(track, Qt::LeftButton, {}, QPoint(track->width() / 2, track->height() / 2));
    EXPECT_FALSE(item->strengthTouched());
    EXPECT_EQ(item->strengthOffset(), 0.0);
    EXPECT_DOUBLE_EQ(model->strength(*item), model->globalStrength());
}

TEST_F(TileActionsTest, ShowInFolderRevealsTheExportedFileElseTheOriginal)
{
    drop({writeJPEG("in/a.jpg")});
    auto item = model->items().front();
    actions->run(TileCommand::showInFolder, item);
    item->setExportedTo(folder / "out/a-oxel.psd");
    actions->run(TileCommand::showInFolder, item);
    EXPECT_EQ(revealed, (std::vector<std::filesystem::path>{item->url(), folder / "out/a-oxel.psd"}));
}

TEST_F(TileActionsTest, TheSingleExportGoesThroughThePanelAndCountsEachExportPending)
{
    auto item = developed();
    actions->run(TileCommand::exportOne, item);
    ASSERT_EQ(savePanel.proposed, std::vector<std::string>{"a.b.c-oxel.psd"});
    savePanel.answer(std::nullopt);
    EXPECT_EQ(model->exportsPending(), 0);
    EXPECT_FALSE(item->exportWaiting());

    // Two exports of one photograph, the first named without an extension, the second a TIFF.
    std::filesystem::create_directories(folder / "out");
    actions->run(TileCommand::exportOne, item);
    savePanel.answer(folder / "out/first");
    actions->run(TileCommand::exportOne, item);
    savePanel.answer(folder / "out/second.TIF");
    EXPECT_EQ(model->exportsPending(), 2);
    ASSERT_TRUE(runUntil([&] { return model->exportsPending() == 0; }));
    EXPECT_TRUE(std::filesystem::exists(folder / "out/first.psd"));
    EXPECT_TRUE(std::filesystem::exists(folder / "out/second.TIF"));
}

TEST_F(TileActionsTest, AResultGoneWhileThePanelWasOpenMarksNothing)
{
    auto item = developed();
    actions->run(TileCommand::exportOne, item);
    item->setResult(nullptr);
    savePanel.answer(folder / "out/late.psd");
    EXPECT_EQ(model->exportsPending(), 0);
    EXPECT_FALSE(item->exportWaiting());
}

TEST_F(TileActionsTest, RemovingADevelopedPhotographAsksFirstAndAPanelAnsweredLateTouchesNothing)
{
    auto item = developed();
    tileOf(item);
    actions->run(TileCommand::exportOne, item);
    // The grid and its tiles go while the save panel is still open.
    grid.reset();
    savePanel.answer(std::nullopt);
    panels.answers = {0};
    actions->run(TileCommand::remove, item);
    ASSERT_TRUE(runUntil([&] { return model->items().empty(); }));
    ASSERT_EQ(panels.alertsShown.size(), 1u);
    EXPECT_EQ(panels.alertsShown[0].message, "remove a.b.c.jpg from the batch?");
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST_F(TileActionsTest, TheColourRowSitsUnderTheLightRowOnlyWhileTheBatchRuleHolds)
{
    auto item = developed();
    TileClock clock;
    TileView tile(item, clock);
    tile.setScreen(TileView::Screen::results);
    int made = 0;
    const auto maker = [&](QWidget* parent) {
        ++made;
        return new ColourRow(*model, item, ColourRow::Sizes::tile(), parent);
    };
    tile.setColourRow(maker, false);
    EXPECT_EQ(tile.findChild<ColourRow*>(), nullptr);
    tile.setColourRow(maker, true);
    ASSERT_NE(tile.findChild<ColourRow*>(), nullptr);
    EXPECT_NE(tile.findChild<StrengthTrack*>(), nullptr) << "the light row stays above it";
    tile.setColourRow(maker, true);
    EXPECT_EQ(made, 1) << "an unchanged rule builds nothing again";
    tile.setScreen(TileView::Screen::input);
    EXPECT_EQ(tile.findChild<ColourRow*>(), nullptr);
}

} // namespace
} // namespace oxel
