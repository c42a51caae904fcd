#pragma once

#include "library/BatchItem.h"

#include <string>
#include <vector>

namespace oxel {

// The commands of a tile's context menu.
enum class TileCommand { showInFolder, locateOriginal, exportOne, retryColourOnly, developWithLight, report, remove };

struct TileMenuEntry {
    TileCommand command;
    std::string title;
    bool enabled = true;
    bool operator==(const TileMenuEntry&) const = default;
};

// What the menu reads of the application model besides the item.
struct TileMenuModelFacts {
    bool colourOnlyModelReady = false;
    bool reportTarget = false; // the model would take a report of this item's output
    bool reporting = false;    // a report of this item is being sent
};

// The menu's entries top to bottom, worked out afresh each time it opens.
std::vector<TileMenuEntry> tileMenuEntries(const BatchItem& item, const TileMenuModelFacts& model);

} // namespace oxel
