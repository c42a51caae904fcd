#include "sheets/TileMenuEntries.h"
#include "sheets/TileMenu.h"

#include <gtest/gtest.h>

using namespace oxel;

namespace {

std::shared_ptr<JobOutcome> result(bool colourOnly)
{
    auto outcome =
        std::make_shared<JobOutcome>("job-1", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
    outcome->colourOnly = colourOnly;
    return outcome;
}

std::shared_ptr<BatchItem> item(bool withSource = true)
{
    return BatchItem::make(Uuid::random(), "/photos/a.jpg", Origin::opened,
                           withSource ? std::optional(SourceImage{}) : std::nullopt, std::nullopt);
}

std::vector<TileCommand> commands(const BatchItem& item, TileMenuModelFacts model = {})
{
    std::vector<TileCommand> found;
    for (const TileMenuEntry& entry : tileMenuEntries(item, model)) found.push_back(entry.command);
    return found;
}

} // namespace

TEST(TileMenuEntries, TheFirstSlotRevealsOrLocates)
{
    auto photo = item();
    EXPECT_EQ(commands(*photo), (std::vector{TileCommand::showInFolder, TileCommand::remove}));
    EXPECT_EQ(tileMenuEntries(*photo, {}).front().title, "show in folder");
    photo->setAvailability(Availability::offline("the disk is not connected"));
    EXPECT_EQ(commands(*photo), (std::vector{TileCommand::locateOriginal, TileCommand::remove}));
    photo->setAvailability(Availability::changed("the file has changed"));
    EXPECT_EQ(tileMenuEntries(*photo, {}).front().title, "locate the original…");
}

TEST(TileMenuEntries, ExportNeedsResultAndSource)
{
    auto loaded = item();
    loaded->setResult(result(false));
    EXPECT_EQ(commands(*loaded), (std::vector{TileCommand::showInFolder, TileCommand::exportOne, TileCommand::remove}));
    auto unloaded = item(false);
    unloaded->setResult(result(false));
    EXPECT_EQ(commands(*unloaded), (std::vector{TileCommand::showInFolder, TileCommand::remove}));
}

TEST(TileMenuEntries, ColourOnlyGroup)
{
    auto photo = item();
    photo->setResult(result(true));
    EXPECT_EQ(commands(*photo, {.colourOnlyModelReady = true}),
              (std::vector{TileCommand::showInFolder, TileCommand::exportOne, TileCommand::retryColourOnly,
                           TileCommand::developWithLight, TileCommand::remove}));
    EXPECT_EQ(commands(*photo), (std::vector{TileCommand::showInFolder, TileCommand::exportOne,
                                             TileCommand::developWithLight, TileCommand::remove}));

    photo->setPhase(phase::Queued{});
    EXPECT_EQ(commands(*photo, {.colourOnlyModelReady = true}),
              (std::vector{TileCommand::showInFolder, TileCommand::exportOne, TileCommand::remove}));

    auto unloaded = item(false);
    unloaded->setResult(result(true));
    EXPECT_EQ(commands(*unloaded, {.colourOnlyModelReady = true}),
              (std::vector{TileCommand::showInFolder, TileCommand::remove}));
}

TEST(TileMenuEntries, ReportAndRemoveStates)
{
    auto photo = item();
    photo->setResult(result(false));
    const auto idle = tileMenuEntries(*photo, {.reportTarget = true});
    EXPECT_EQ(idle[2], (TileMenuEntry{TileCommand::report, "report this output", true}));
    EXPECT_EQ(idle[3], (TileMenuEntry{TileCommand::remove, "remove from the batch", true}));

    const auto sending = tileMenuEntries(*photo, {.reportTarget = true, .reporting = true});
    EXPECT_EQ(sending[2], (TileMenuEntry{TileCommand::report, "sending…", false}));

    photo->setPhase(phase::Processing{"rendering", std::nullopt});
    const auto inFlight = tileMenuEntries(*photo, {.reportTarget = true});
    EXPECT_EQ(inFlight[2], (TileMenuEntry{TileCommand::report, "report this output", false}));
    EXPECT_EQ(inFlight[3], (TileMenuEntry{TileCommand::remove, "remove from the batch", false}));
}

TEST(TileMenu, ShowsEveryEntryInOrderAndActsOnTheChosenOne)
{
    auto photo = item();
    photo->setResult(result(false));
    const auto entries = tileMenuEntries(*photo, {.reportTarget = true, .reporting = true});
    std::vector<TileCommand> chosen;
    std::unique_ptr<QMenu> menu(buildTileMenu(
        entries, [&](TileCommand command) { chosen.push_back(command); }, nullptr));
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[2]->text(), "sending…");
    EXPECT_FALSE(actions[2]->isEnabled());
    actions[1]->trigger();
    EXPECT_EQ(chosen, std::vector{TileCommand::exportOne});
}

TEST(TileMenu, RevealsTheExportedFileElseTheOriginal)
{
    auto photo = item();
    EXPECT_EQ(revealTarget(*photo), "/photos/a.jpg");
    photo->setExportedTo("/out/a-oxel.psd");
    EXPECT_EQ(revealTarget(*photo), "/out/a-oxel.psd");
}
