#pragma once

#include "app/MenuEntries.h"

#include <QObject>

#include <functional>

class QMainWindow;
class QMenu;

namespace oxel {

// The window's menu bar: "file", "batch" and "help". The entries and their states are worked out
// again on every refresh and whenever a menu opens, so they follow the model.
class AppMenuBar final : public QObject {
    Q_OBJECT
public:
    struct Source {
        std::function<MenuState()> state;
        std::function<std::vector<BatchSummary>()> recent;
    };

    AppMenuBar(QMainWindow& window, Source source);

    void refresh();

    QMenu* fileMenu() const { return file_; }
    QMenu* recentMenu() const { return recent_; }
    QMenu* batchMenu() const { return batch_; }
    QMenu* helpMenu() const { return help_; }

Q_SIGNALS:
    // `batch` is the batch of a recent entry.
    void chosen(oxel::MenuCommand command, std::optional<oxel::Uuid> batch);

private:
    void fill(QMenu* menu, const std::vector<MenuEntry>& entries);

    Source source_;
    QMenu* file_;
    QMenu* recent_;
    QMenu* batch_;
    QMenu* help_;
};

} // namespace oxel
