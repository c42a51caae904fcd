#include "sheets/TileActions.h"

#include "model/AppModel.h"
#include "sheets/TileMenu.h"

namespace oxel {

TileActions::TileActions(AppModel& model, SavePanelPort& savePanel, Reveal reveal, QObject* parent)
    : QObject(parent),
      model_(model),
      reveal_(std::move(reveal)),
      singleExport_(savePanel,
                    [&model](std::shared_ptr<BatchItem> item, std::filesystem::path file, ExportOptions options) {
                        model.startExport(std::move(item), std::move(file), std::move(options), true);
                    })
{}

TileActions::~TileActions() = default;

TileMenuModelFacts TileActions::menuFacts(const BatchItem& item) const
{
    return {model_.colourOnlyModelReady(), bool(model_.reportTarget(item)), model_.reporting().contains(item.id)};
}

void TileActions::openMenu(const std::shared_ptr<BatchItem>& item, QPoint globalPosition, QWidget* parent)
{
    QMenu* menu = buildTileMenu(
        tileMenuEntries(*item, menuFacts(*item)), [this, item](TileCommand command) { run(command, item); }, parent);
    menu->popup(globalPosition);
}

void TileActions::run(TileCommand command, const std::shared_ptr<BatchItem>& item)
{
    switch (command) {
    case TileCommand::showInFolder: reveal_(revealTarget(*item)); break;
    case TileCommand::locateOriginal: model_.locateOriginal(item); break;
    case TileCommand::exportOne: singleExport_.exportOne(item); break;
    case TileCommand::retryColourOnly: model_.regradeOnDevice({item}); break;
    case TileCommand::developWithLight: model_.developWithLight({item}); break;
    case TileCommand::report: {
        auto report = [](AppModel& model, std::shared_ptr<BatchItem> item) -> Task<void> {
            co_await model.sendReport(item, true);
        };
        scope_.spawn(report(model_, item));
        break;
    }
    case TileCommand::remove: model_.confirmRemove(item); break;
    }
}

} // namespace oxel
