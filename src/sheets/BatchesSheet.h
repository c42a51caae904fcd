#pragma once

#include "async/TaskScope.h"
#include "library/BatchSummary.h"
#include "model/ModelServices.h"
#include "sheets/BatchThumbnails.h"
#include "sheets/BatchesText.h"
#include "sheets/ModelSheet.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QScrollArea;

namespace oxel {

class BatchRow;
class TextLabel;

// The library of batches, newest first: each row with its thumbnails, name, date, image count and
// folder size. A batch is opened, renamed in place, shown in the file manager or moved to the
// trash after a question. Rows are made as they scroll into view; folder sizes are worked out
// one batch at a time off the main thread, and what arrives after the sheet closed is dropped.
class BatchesSheet : public ModelSheet {
    Q_OBJECT
public:
    using Reveal = std::function<void(const std::filesystem::path&)>;

    BatchesSheet(AppModel& model, ModelPanels& alerts, Reveal reveal, QWidget* parent);

    static constexpr int sheetWidth = 640;
    static constexpr int shortestList = 260;
    static constexpr int tallestList = 520;

    const BatchSizes& sizes() const { return sizes_; }
    QScrollArea* list() const { return scroll_; }
    // The rows made so far, by position in the list.
    std::vector<BatchRow*> builtRows() const;
    BatchRow* row(const Uuid& batch) const;
    BatchThumbnails& thumbnails() { return thumbnails_; }
    // The context menu of a batch, as a secondary click opens it.
    QMenu* menuFor(const BatchSummary& summary);
    const std::optional<Uuid>& renaming() const { return renaming_; }

Q_SIGNALS:
    // A folder size arrived and was shown.
    void sizeShown(const Uuid& batch);

protected:
    void showEvent(QShowEvent* event) override;

private:
    class RowList;

    void refresh();
    void rebuildRows();
    BatchRow* makeRow(size_t index);
    void openBatch(const BatchSummary& summary);
    void doubleClicked(const BatchSummary& summary);
    void startRenaming(const BatchSummary& summary);
    void commitRename();
    void cancelRename();
    void endRenaming();
    Task<void> confirmTrash(BatchSummary summary);
    Task<void> workOutSizes(std::vector<BatchSummary> batches);
    bool isOpenBatch(const Uuid& batch) const;
    void updateCountLine();

    ModelPanels& alerts_;
    Reveal reveal_;
    BatchSizes sizes_;
    std::optional<Uuid> renaming_;
    QString draft_;
    bool draftTouched_ = false;
    bool sizesStarted_ = false;
    std::vector<BatchSummary> listed_;

    TextLabel* empty_;
    QScrollArea* scroll_;
    RowList* rows_;
    TextLabel* countLine_;
    BatchThumbnails thumbnails_;
    TaskScope tasks_; // last: its tasks go before what they touch
};

} // namespace oxel
