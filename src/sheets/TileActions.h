#pragma once

#include "async/TaskScope.h"
#include "sheets/SingleExport.h"
#include "sheets/TileMenuEntries.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>

namespace oxel {

class AppModel;

// A tile's context menu and its commands: show in folder, locate the original, the single export
// through the save panel, grading again on this computer, developing with light, the problem
// report and removal. One object serves every tile of the grid; each request carries its item, so
// work that ends after a tile is gone (a save panel, an export, a report) needs nothing of the tile.
class TileActions final : public QObject {
    Q_OBJECT
public:
    using Reveal = std::function<void(const std::filesystem::path&)>;

    TileActions(AppModel& model, SavePanelPort& savePanel, Reveal reveal, QObject* parent = nullptr);
    ~TileActions() override;

    // What the context menu reads of the model for an item.
    TileMenuModelFacts menuFacts(const BatchItem& item) const;
    // The context menu of an item, built afresh from the item and the model, at a screen point.
    void openMenu(const std::shared_ptr<BatchItem>& item, QPoint globalPosition, QWidget* parent);
    // Runs one command of the context menu on an item.
    void run(TileCommand command, const std::shared_ptr<BatchItem>& item);

private:
    AppModel& model_;
    Reveal reveal_;
    SingleExport singleExport_;
    TaskScope scope_;
};

} // namespace oxel
