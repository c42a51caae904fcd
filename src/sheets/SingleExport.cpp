#include "sheets/SingleExport.h"

#include "sheets/TileRules.h"

namespace oxel {

SingleExport::SingleExport(SavePanelPort& panel, Start start) : panel_(panel), start_(std::move(start))
{}

void SingleExport::exportOne(const std::shared_ptr<BatchItem>& item)
{
    std::weak_ptr<const bool> alive = alive_;
    panel_.chooseExportFile(tile::proposedExportName(*item),
                            [this, alive, item](std::optional<std::filesystem::path> file) {
                                if (alive.lock() && file && !file->empty()) chosen(item, *file);
                            });
}

void SingleExport::chosen(const std::shared_ptr<BatchItem>& item, const std::filesystem::path& file)
{
    const std::filesystem::path target = tile::layeredExportTarget(file);
    if (!item->result()) return;
    start_(item, target, tile::singleExportOptions(target));
}

} // namespace oxel
