#include "sheets/TileMenu.h"

namespace oxel {

QMenu* buildTileMenu(const std::vector<TileMenuEntry>& entries, std::function<void(TileCommand)> chosen,
                     QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const TileMenuEntry& entry : entries) {
        QAction* action = menu->addAction(QString::fromStdString(entry.title));
        action->setEnabled(entry.enabled);
        QObject::connect(action, &QAction::triggered, menu, [chosen, command = entry.command] { chosen(command); });
    }
    return menu;
}

std::filesystem::path revealTarget(const BatchItem& item)
{
    return item.exportedTo().value_or(item.url());
}

} // namespace oxel
