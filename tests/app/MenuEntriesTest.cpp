#include "app/MenuEntries.h"
#include "app/AppMenuBar.h"
#include "library/InternetDate.h"

#include <QMainWindow>
#include <QMenu>

#include <gtest/gtest.h>

namespace oxel {
namespace {

std::vector<BatchSummary> batches(int count)
{
    std::vector<BatchSummary> list;
    for (int i = 0; i < count; ++i) {
        BatchSummary summary;
        summary.record.id = Uuid::random();
        summary.record.name = "batch " + std::to_string(i);
        summary.record.createdAt = *InternetDate::parse("2025-03-03T12:00:00Z");
        list.push_back(summary);
    }
    return list;
}

std::vector<std::string> titles(const std::vector<MenuEntry>& entries)
{
    std::vector<std::string> result;
    for (const MenuEntry& entry : entries) result.push_back(entry.divider ? "---" : entry.title);
    return result;
}

const MenuEntry& entryFor(const std::vector<MenuEntry>& entries, MenuCommand command)
{
    for (const MenuEntry& entry : entries) {
        if (!entry.divider && entry.command == command) return entry;
    }
    throw std::runtime_error("no such entry");
}

TEST(MenuEntries, RecentBatchesListTheFirstTenThenADivider)
{
    std::vector<BatchSummary> eleven = batches(11);
    std::vector<MenuEntry> recent = menuEntries({}, eleven).recent;
    ASSERT_EQ(recent.size(), 12u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(recent[i].command, MenuCommand::openRecent);
        EXPECT_EQ(recent[i].batch, eleven[i].id());
        EXPECT_TRUE(recent[i].title.starts_with("batch " + std::to_string(i) + " · ")) << recent[i].title;
    }
    EXPECT_TRUE(recent[10].divider);
    EXPECT_EQ(recent[11].title, "all batches…");
    EXPECT_TRUE(recent[11].shortcut.empty());

    EXPECT_EQ(titles(menuEntries({}, {}).recent), std::vector<std::string>{"all batches…"});
    EXPECT_EQ(titles(menuEntries({}, batches(1)).recent).size(), 3u);
}

TEST(MenuEntries, BatchCommandsFollowTheModel)
{
    MenuState ready{.itemsToProcess = 3,
                    .signedIn = true,
                    .itemsWithResult = 0,
                    .canSendBack = false,
                    .batchStored = false,
                    .canCheckForUpdates = true};
    Menus menus = menuEntries(ready, {});
    EXPECT_TRUE(entryFor(menus.batch, MenuCommand::process).enabled);
    EXPECT_FALSE(entryFor(menus.batch, MenuCommand::exportResults).enabled);
    EXPECT_FALSE(entryFor(menus.batch, MenuCommand::sendBack).enabled);
    EXPECT_FALSE(entryFor(menus.batch, MenuCommand::renameBatch).enabled);

    MenuState waitlisted = ready;
    waitlisted.signedIn = false;
    EXPECT_FALSE(entryFor(menuEntries(waitlisted, {}).batch, MenuCommand::process).enabled);
    MenuState empty = ready;
    empty.itemsToProcess = 0;
    EXPECT_FALSE(entryFor(menuEntries(empty, {}).batch, MenuCommand::process).enabled);

    MenuState done{.itemsToProcess = 0,
                   .signedIn = true,
                   .itemsWithResult = 2,
                   .canSendBack = true,
                   .batchStored = true,
                   .canCheckForUpdates = false};
    menus = menuEntries(done, {});
    EXPECT_TRUE(entryFor(menus.batch, MenuCommand::exportResults).enabled);
    EXPECT_TRUE(entryFor(menus.batch, MenuCommand::sendBack).enabled);
    EXPECT_TRUE(entryFor(menus.batch, MenuCommand::renameBatch).enabled);
    EXPECT_FALSE(entryFor(menus.help, MenuCommand::checkForUpdates).enabled);
    for (const MenuEntry& entry : menus.file) EXPECT_TRUE(entry.enabled);
}

TEST(AppMenuBar, RebuildsItsMenusFromTheCurrentValues)
{
    QMainWindow window;
    MenuState state;
    std::vector<BatchSummary> recent;
    AppMenuBar bar(window, {[&] { return state; }, [&] { return recent; }});
    std::vector<MenuCommand> chosen;
    QObject::connect(&bar, &AppMenuBar::chosen,
                     [&](MenuCommand command, std::optional<Uuid>) { chosen.push_back(command); });

    QStringList fileTitles;
    for (QAction* action : bar.fileMenu()->actions()) fileTitles << action->text();
    EXPECT_EQ(fileTitles, (QStringList{"new batch", "import images…", "recent batches", "all batches…", "", "quit"}));
    EXPECT_EQ(bar.recentMenu()->actions().size(), 1);
    QAction* process = bar.batchMenu()->actions().first();
    EXPECT_FALSE(process->isEnabled());
    EXPECT_EQ(process->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));

    state.itemsToProcess = 2;
    state.signedIn = true;
    recent = batches(3);
    Q_EMIT bar.batchMenu()->aboutToShow();
    EXPECT_TRUE(bar.batchMenu()->actions().first()->isEnabled());
    EXPECT_EQ(bar.recentMenu()->actions().size(), 5);
    bar.batchMenu()->actions().first()->trigger();
    bar.fileMenu()->actions().last()->trigger();
    EXPECT_EQ(chosen, (std::vector<MenuCommand>{MenuCommand::process, MenuCommand::quit}));
}

} // namespace
} // namespace oxel
