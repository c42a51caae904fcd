#include "sheets/BatchesSheet.h"

#include "async/Offload.h"
#include "sheets/BatchRow.h"
#include "sheets/SheetParts.h"
#include "ui/kit/BoxedField.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace oxel {

// The rows of the list, each made when it first comes into view and kept afterwards.
class BatchesSheet::RowList : public QWidget {
public:
    using Maker = std::function<BatchRow*(size_t)>;

    RowList(QScrollArea& scroll, Maker maker) : scroll_(scroll), maker_(std::move(maker))
    {
        connect(scroll_.verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { makeVisibleRows(); });
    }

    void reset(size_t count)
    {
        for (auto& [index, row] : rows_) drop(row);
        rows_.clear();
        count_ = count;
        setMinimumHeight(int(count_) * BatchRow::height);
        makeVisibleRows();
    }

    // Makes the row at `index` again, when it has been made.
    void remake(size_t index)
    {
        auto found = rows_.find(index);
        if (found == rows_.end()) return;
        drop(found->second);
        rows_.erase(found);
        makeVisibleRows();
    }

    void makeVisibleRows()
    {
        if (count_ == 0) return;
        const int top = scroll_.verticalScrollBar()->value();
        const int bottom = top + std::max(scroll_.viewport()->height(), BatchesSheet::tallestList);
        const size_t first = size_t(std::max(top, 0) / BatchRow::height);
        const size_t last = std::min(count_ - 1, size_t(std::max(bottom, 0) / BatchRow::height));
        for (size_t index = first; index <= last; ++index) {
            if (rows_.contains(index)) continue;
            BatchRow* row = maker_(index);
            row->setParent(this);
            row->setGeometry(0, int(index) * BatchRow::height, rowWidth(), BatchRow::height);
            row->show();
            rows_[index] = row;
        }
    }

    const std::map<size_t, BatchRow*>& rows() const { return rows_; }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        for (auto& [index, row] : rows_)
            row->setGeometry(0, int(index) * BatchRow::height, rowWidth(), BatchRow::height);
        makeVisibleRows();
    }

private:
    // Beside the scroll bar, which shows once the rows are taller than the list, rows keep a
    // margin from it.
    int rowWidth() const
    {
        const bool scrolls = int(count_) * BatchRow::height > scroll_.viewport()->height();
        return width() - (scrolls ? scrollBarMargin : 0);
    }

    static constexpr int scrollBarMargin = 12;

    // A row may be the sender of the signal being handled: it goes after this turn, hidden now.
    static void drop(BatchRow* row)
    {
        row->hide();
        row->deleteLater();
    }

    QScrollArea& scroll_;
    Maker maker_;
    size_t count_ = 0;
    std::map<size_t, BatchRow*> rows_;
};

BatchesSheet::BatchesSheet(AppModel& model, ModelPanels& alerts, Reveal reveal, QWidget* parent)
    : ModelSheet(model, "recent batches", parent, sheetWidth,
                 PresentingFlag::of(AppModel::Field::showBatches, &AppModel::showBatches, &AppModel::setShowBatches)),
      alerts_(alerts),
      reveal_(std::move(reveal)),
      empty_(sheet::text("nothing kept yet. a batch joins the library when it is processed.", 12, Palette::pencil())),
      scroll_(new QScrollArea),
      countLine_(sheet::text({}, 11, Palette::pencil())),
      thumbnails_(devicePixelRatioF())
{
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    // Tab goes down the rows' buttons, which the list scrolls into view, rather than stopping on
    // the list itself, which shows no mark.
    scroll_->setFocusPolicy(Qt::NoFocus);
    rows_ = new RowList(*scroll_, [this](size_t index) { return makeRow(index); });
    scroll_->setWidget(rows_);

    auto* listArea = sheet::column(8);
    listArea->addWidget(empty_);
    listArea->addWidget(scroll_);
    listArea->addWidget(countLine_);

    auto* showLibrary = sheet::button("show the library folder", false);
    auto* close = sheet::button("close", true);
    connect(showLibrary, &SheetButton::clicked, this, [this] { reveal_(this->model().library().root()); });
    connect(close, &SheetButton::clicked, this, &QDialog::accept);

    place(sheet::holding(listArea), {showLibrary}, {close});
    setDefaultButton(close);
    follow({AppModel::Field::recent, AppModel::Field::batch}, {}, [this] { refresh(); });
    refresh();
}

void BatchesSheet::showEvent(QShowEvent* event)
{
    ModelSheet::showEvent(event);
    if (sizesStarted_) return;
    sizesStarted_ = true;
    tasks_.spawn(workOutSizes(model().recent()));
}

Task<void> BatchesSheet::workOutSizes(std::vector<BatchSummary> batches)
{
    const LibraryStore& library = model().library();
    for (const BatchSummary& summary : batches) {
        const Uuid id = summary.id();
        // Once this sheet is gone its scope drops this task at the await, so nothing below runs.
        // Named first: g++ 12 destroys a capturing lambda made inside the awaited expression twice.
        auto measure = [&library, id] { return library.size(id); };
        const int64_t size = co_await offload(WorkPriority::utility, std::move(measure));
        sizes_[id] = size;
        for (size_t index = 0; index < listed_.size(); ++index)
            if (listed_[index].id() == id) rows_->remake(index);
        updateCountLine();
        Q_EMIT sizeShown(id);
    }
}

void BatchesSheet::refresh()
{
    listed_ = model().recent();
    const bool empty = listed_.empty();
    empty_->setVisible(empty);
    scroll_->setVisible(!empty);
    countLine_->setVisible(!empty);
    scroll_->setFixedHeight(std::clamp(int(listed_.size()) * BatchRow::height, shortestList, tallestList));
    updateCountLine();
    rebuildRows();
}

void BatchesSheet::rebuildRows()
{
    rows_->reset(listed_.size());
}

void BatchesSheet::updateCountLine()
{
    const char* home = std::getenv("HOME");
    countLine_->setText(
        QString::fromStdString(batchCountLine(listed_.size(), sizes_, model().library().root(), home ? home : "")));
}

bool BatchesSheet::isOpenBatch(const Uuid& batch) const
{
    return model().batch() && model().batch()->id == batch;
}

BatchRow* BatchesSheet::makeRow(size_t index)
{
    const BatchSummary& summary = listed_.at(index);
    BatchRow::Look look{batchDetailLine(summary, sizes_), isOpenBatch(summary.id()), std::nullopt};
    if (renaming_ == summary.id()) {
        look.draft = draft_;
        look.draftSelected = !draftTouched_;
    }
    auto* row = new BatchRow(summary, look, thumbnails_);
    connect(row, &BatchRow::openRequested, this, [this, summary] { openBatch(summary); });
    connect(row, &BatchRow::doubleClicked, this, [this, summary] { doubleClicked(summary); });
    connect(row, &BatchRow::menuRequested, this,
            [this, summary](const QPoint& where) { menuFor(summary)->popup(where); });
    connect(row, &BatchRow::draftEdited, this, [this](const QString& draft) {
        draft_ = draft;
        draftTouched_ = true;
    });
    connect(row, &BatchRow::renameCommitted, this, &BatchesSheet::commitRename);
    connect(row, &BatchRow::renameCancelled, this, &BatchesSheet::cancelRename);
    return row;
}

std::vector<BatchRow*> BatchesSheet::builtRows() const
{
    std::vector<BatchRow*> made;
    for (const auto& [index, row] : rows_->rows()) made.push_back(row);
    return made;
}

BatchRow* BatchesSheet::row(const Uuid& batch) const
{
    for (const auto& [index, row] : rows_->rows())
        if (row->summary().id() == batch) return row;
    return nullptr;
}

QMenu* BatchesSheet::menuFor(const BatchSummary& summary)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction("open"), &QAction::triggered, this, [this, summary] { openBatch(summary); });
    connect(menu->addAction("rename…"), &QAction::triggered, this, [this, summary] { startRenaming(summary); });
    connect(menu->addAction("show in folder"), &QAction::triggered, this, [this, summary] { reveal_(summary.folder); });
    menu->addSeparator();
    connect(menu->addAction("move to trash…"), &QAction::triggered, this,
            [this, summary] { tasks_.spawn(confirmTrash(summary)); });
    return menu;
}

void BatchesSheet::openBatch(const BatchSummary& summary)
{
    // Opening calls the model first and closes afterwards.
    model().requestOpenBatch(summary.id());
    accept();
}

void BatchesSheet::doubleClicked(const BatchSummary& summary)
{
    if (!isOpenBatch(summary.id())) openBatch(summary);
}

void BatchesSheet::startRenaming(const BatchSummary& summary)
{
    renaming_ = summary.id();
    draft_ = QString::fromStdString(summary.record.name);
    draftTouched_ = false;
    rebuildRows();
}

void BatchesSheet::commitRename()
{
    if (!renaming_) return;
    const Uuid batch = *renaming_;
    const QString draft = draft_;
    model().renameBatch(batch, draft.toStdString());
    endRenaming();
}

void BatchesSheet::cancelRename()
{
    if (renaming_) endRenaming();
}

void BatchesSheet::endRenaming()
{
    renaming_.reset();
    draft_.clear();
    // The field goes with its row: the focus returns to the sheet, not to the next control in line,
    // so a following Return or Escape acts on the sheet.
    focusNoControl();
    rebuildRows();
}

Task<void> BatchesSheet::confirmTrash(BatchSummary summary)
{
    enum Answer { keepIt, moveToTrash };
    Alert alert{"move " + summary.record.name + " to the trash?",
                "its renders and settings go. the originals and anything exported are not touched.",
                {"keep it", "move to trash"},
                keepIt};
    const int answer = co_await alerts_.ask(std::move(alert));
    if (answer == moveToTrash) model().trashBatch(summary);
}

} // namespace oxel
