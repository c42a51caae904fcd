#include "app/AppMenuBar.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace oxel {

AppMenuBar::AppMenuBar(QMainWindow& window, Source source) : QObject(&window), source_(std::move(source))
{
    QMenuBar* bar = window.menuBar();
    file_ = bar->addMenu(QStringLiteral("file"));
    recent_ = new QMenu(QStringLiteral("recent batches"), file_);
    batch_ = bar->addMenu(QStringLiteral("batch"));
    help_ = bar->addMenu(QStringLiteral("help"));
    for (QMenu* menu : {file_, recent_, batch_, help_}) connect(menu, &QMenu::aboutToShow, this, &AppMenuBar::refresh);
    refresh();
}

void AppMenuBar::refresh()
{
    Menus menus = menuEntries(source_.state(), source_.recent());
    fill(file_, menus.file);
    // The submenu sits below "import images…".
    file_->insertMenu(file_->actions().value(2), recent_);
    fill(recent_, menus.recent);
    fill(batch_, menus.batch);
    fill(help_, menus.help);
}

void AppMenuBar::fill(QMenu* menu, const std::vector<MenuEntry>& entries)
{
    // Refreshing from within the menu's own aboutToShow is safe: its actions are replaced, not
    // triggered, and nothing is deleted while Qt delivers a triggered action.
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        if (action->parent() == menu) action->deleteLater();
    }
    for (const MenuEntry& entry : entries) {
        if (entry.divider) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromStdString(entry.title));
        if (!entry.shortcut.empty()) action->setShortcut(QKeySequence(QString::fromStdString(entry.shortcut)));
        action->setEnabled(entry.enabled);
        connect(action, &QAction::triggered, this,
                [this, command = entry.command, batch = entry.batch] { Q_EMIT chosen(command, batch); });
    }
}

} // namespace oxel
