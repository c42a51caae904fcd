#pragma once

#include "library/BatchSummary.h"

#include <QWidget>

#include <optional>

namespace oxel {

class BatchThumbnails;
class BoxedField;
class TextLabel;

// One batch of the batches sheet: up to four thumbnails in a strip of fixed width, the name (or
// the field renaming it) over the detail line, and "open" or "on screen". The whole row takes
// double clicks and the context menu.
class BatchRow : public QWidget {
    Q_OBJECT
public:
    struct Look {
        std::string detail;
        bool onScreen = false;
        std::optional<QString> draft; // renaming, with this text
        bool draftSelected = false;   // untouched yet: selected, so typing replaces it
    };

    BatchRow(BatchSummary summary, const Look& look, BatchThumbnails& thumbnails, QWidget* parent = nullptr);

    const BatchSummary& summary() const { return summary_; }
    BoxedField* field() const { return field_; }
    // The place where the name column starts, the same on every row.
    int nameColumnX() const;
    // How many thumbnail cells are shown now.
    int cellCount() const;

    static constexpr int height = 56;
    static constexpr int stripWidth = 172;

Q_SIGNALS:
    void openRequested();
    void doubleClicked();
    void menuRequested(const QPoint& globalPosition);
    void draftEdited(const QString& draft);
    void renameCommitted();
    void renameCancelled();

protected:
    // The name field keeps Return and Escape to itself: they end the editing, with or without the
    // draft, and never reach the sheet, which would close.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A row made with its name field open hands the field the focus as it shows.
    void showEvent(QShowEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class Strip;

    BatchSummary summary_;
    Strip* strip_;
    QWidget* nameColumn_;
    BoxedField* field_ = nullptr;
};

} // namespace oxel
