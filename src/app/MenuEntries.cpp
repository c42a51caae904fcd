#include "app/MenuEntries.h"

#include "ondevice/CaptureSpanLabel.h"

namespace oxel {

namespace {

MenuEntry command(MenuCommand command, std::string title, std::string shortcut = {}, bool enabled = true)
{
    return {command, std::move(title), std::move(shortcut), enabled, std::nullopt, false};
}

MenuEntry divider()
{
    return {MenuCommand::newBatch, {}, {}, true, std::nullopt, true};
}

std::vector<MenuEntry> recentEntries(const std::vector<BatchSummary>& recent)
{
    std::vector<MenuEntry> entries;
    for (size_t i = 0; i < std::min(recent.size(), recentBatchesListed); ++i) {
        MenuEntry entry = command(MenuCommand::openRecent, recentBatchTitle(recent[i].record));
        entry.batch = recent[i].id();
        entries.push_back(std::move(entry));
    }
    if (!recent.empty()) entries.push_back(divider());
    entries.push_back(command(MenuCommand::allBatches, "all batches…"));
    return entries;
}

} // namespace

Menus menuEntries(const MenuState& state, const std::vector<BatchSummary>& recent)
{
    Menus menus;
    menus.file = {command(MenuCommand::newBatch, "new batch", "Ctrl+N"),
                  command(MenuCommand::importImages, "import images…", "Ctrl+O"),
                  command(MenuCommand::allBatches, "all batches…", "Ctrl+Shift+O"), divider(),
                  command(MenuCommand::quit, "quit", "Ctrl+Q")};
    menus.recent = recentEntries(recent);
    menus.batch = {
        command(MenuCommand::process, "process", "Ctrl+Return", state.itemsToProcess > 0 && state.signedIn),
        command(MenuCommand::exportResults, "export…", "Ctrl+E", state.itemsWithResult > 0),
        command(MenuCommand::sendBack, "send back", "Ctrl+S", state.canSendBack),
        divider(),
        command(MenuCommand::renameBatch, "rename this batch…", {}, state.batchStored),
    };
    menus.help = {command(MenuCommand::about, "about oxel pro"),
                  command(MenuCommand::checkForUpdates, "check for updates…", {}, state.canCheckForUpdates)};
    return menus;
}

std::string recentBatchTitle(const BatchRecord& record)
{
    return record.name + " · " + captureSpanLabel(record.captured, record.createdAt);
}

} // namespace oxel
