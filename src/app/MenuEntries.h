#pragma once

#include "library/BatchSummary.h"
#include "platform/Uuid.h"

#include <optional>
#include <string>
#include <vector>

namespace oxel {

enum class MenuCommand {
    newBatch,
    importImages,
    openRecent,
    allBatches,
    quit,
    process,
    exportResults,
    sendBack,
    renameBatch,
    about,
    checkForUpdates,
};

// One line of a menu: a command, or a divider.
struct MenuEntry {
    MenuCommand command = MenuCommand::newBatch;
    std::string title;
    std::string shortcut; // in Qt's portable key text ("Ctrl+Shift+O"), empty for none
    bool enabled = true;
    std::optional<Uuid> batch; // the batch a recent entry opens
    bool divider = false;

    bool operator==(const MenuEntry&) const = default;
};

// What the menus' disabled states depend on, read from the model and the updater.
struct MenuState {
    int itemsToProcess = 0;
    bool signedIn = false;
    int itemsWithResult = 0;
    bool canSendBack = false;
    bool batchStored = false;
    bool canCheckForUpdates = true;
};

struct Menus {
    std::vector<MenuEntry> file;
    std::vector<MenuEntry> recent; // the "recent batches" submenu of "file"
    std::vector<MenuEntry> batch;
    std::vector<MenuEntry> help;
};

// The most recent batches the submenu lists.
inline constexpr size_t recentBatchesListed = 10;

// Every menu with its entries' states, from the current values.
Menus menuEntries(const MenuState& state, const std::vector<BatchSummary>& recent);

// "<name> · <capture days>", the capture days falling back to the day the batch was made.
std::string recentBatchTitle(const BatchRecord& record);

} // namespace oxel
