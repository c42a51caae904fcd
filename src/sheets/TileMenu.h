#pragma once

#include "sheets/TileMenuEntries.h"

#include <QMenu>

#include <filesystem>
#include <functional>

namespace oxel {

// The tile's context menu as shown: one plain item per entry, no separators, built afresh each
// time it opens; choosing one calls `chosen` with its command.
QMenu* buildTileMenu(const std::vector<TileMenuEntry>& entries, std::function<void(TileCommand)> chosen,
                     QWidget* parent);

// The file "show in folder" reveals: the exported file once there is one, else the original.
std::filesystem::path revealTarget(const BatchItem& item);

} // namespace oxel
