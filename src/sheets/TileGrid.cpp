#include "sheets/TileGrid.h"

#include "model/AppModel.h"
#include "sheets/TileRules.h"
#include "sheets/TileView.h"
#include "ui/window/ColourRow.h"
#include "ui/window/LightboxRules.h"

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <set>

namespace oxel {
namespace {

TileView::Screen tileScreen(AppModel::Screen screen)
{
    return screen == AppModel::Screen::results ? TileView::Screen::results : TileView::Screen::input;
}

} // namespace

TileGrid::TileGrid(AppModel& model, QWidget* parent)
    : QScrollArea(parent),
      model_(model),
      page_(new QWidget),
      watch_(*this, model, [this] { refresh(); }),
      valuesWatch_(*this, model, [this] { refreshValues(); })
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    page_->setAutoFillBackground(false);
    page_->installEventFilter(this);
    setWidget(page_);
    verticalScrollBar()->setSingleStep(40);
    // Tab goes through the tiles' controls, which show their focus, and brings each into view; the
    // grid itself, which would show none, is no stop.
    setFocusPolicy(Qt::NoFocus);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now != page_ && page_->isAncestorOf(now)) ensureWidgetVisible(now);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TileGrid::scheduleFollowView);
    using Field = AppModel::Field;
    // What makes, drops, rebuilds or moves tiles. Orientation is a batch-wide reading, and one
    // result with looks decides whether every tile shows its colour row.
    watch_.model({Field::items, Field::screen, Field::config})
        .items({BatchItem::Field::source, BatchItem::Field::thumbnail, BatchItem::Field::result});
    // What only changes the values tiles show: a batch slider's drag, the batch nudge as it is typed.
    valuesWatch_.model({Field::globalNudge, Field::globalStrength, Field::colourOnlyOn, Field::colourOnlyModelReady})
        .items({BatchItem::Field::strengthOffset});
    refreshNow();
}

TileGrid::~TileGrid() = default;

void TileGrid::refreshNow()
{
    watch_.runNow();
}

void TileGrid::refresh()
{
    // Taken before the tiles are synced: a tile made now has no place yet to be measured from.
    const auto anchor = anchorInView();
    syncTiles();
    placeTiles(anchor);
}

void TileGrid::refreshValues()
{
    for (TileView* tile : order_) showValues(*tile);
}

void TileGrid::setComparing(bool comparing)
{
    if (comparing_ == comparing) return;
    comparing_ = comparing;
    for (auto* tile : order_) tile->setComparing(comparing);
}

TileView* TileGrid::tileFor(const Uuid& id) const
{
    const auto found = tiles_.find(id);
    return found == tiles_.end() ? nullptr : found->second;
}

void TileGrid::syncTiles()
{
    std::set<Uuid> present;
    order_.clear();
    for (const auto& item : model_.items()) {
        present.insert(item->id);
        auto found = tiles_.find(item->id);
        TileView* tile = found != tiles_.end() ? found->second : makeTile(item);
        configure(*tile);
        order_.push_back(tile);
    }
    for (auto at = tiles_.begin(); at != tiles_.end();) {
        if (present.count(at->first)) {
            ++at;
            continue;
        }
        at->second->hide();
        at->second->deleteLater();
        at = tiles_.erase(at);
    }
}

TileView* TileGrid::makeTile(const std::shared_ptr<BatchItem>& item)
{
    auto* tile = new TileView(item, clock_, page_);
    connect(tile, &TileView::lightboxRequested, this,
            [this](std::shared_ptr<BatchItem> chosen) { model_.setLightbox(std::move(chosen)); });
    connect(tile, &TileView::nudgeEdited, this, [this](const std::shared_ptr<BatchItem>& edited, const QString& text) {
        model_.setNudge(text.toStdString(), edited);
    });
    connect(tile, &TileView::nudgeRelinkRequested, this,
            [this](const std::shared_ptr<BatchItem>& relinked) { model_.relinkNudge(relinked); });
    connect(tile, &TileView::retryRequested, this,
            [this](const std::shared_ptr<BatchItem>& failed) { model_.retry(failed); });
    connect(tile, &TileView::strengthDragged, this, [this](const std::shared_ptr<BatchItem>& dragged, double strength) {
        model_.setStrength(strength, dragged);
    });
    connect(tile, &TileView::lightReset, this,
            [this](const std::shared_ptr<BatchItem>& reset) { model_.resetStrength(reset); });
    connect(tile, &TileView::locateRequested, this, &TileGrid::locateRequested);
    connect(tile, &TileView::contextMenuRequested, this, &TileGrid::contextMenuRequested);
    tile->setComparing(comparing_);
    tile->show();
    tiles_.emplace(item->id, tile);
    return tile;
}

void TileGrid::configure(TileView& tile)
{
    ++work_.tilesConfigured;
    tile.setScreen(tileScreen(model_.screen()));
    showValues(tile);
    const bool colourRow =
        lightbox::colourRowShown(model_.config().suggestedGradeEnabled, model_.items(), *tile.item());
    tile.setColourRow([&model = model_, item = tile.item()](
                          QWidget* parent) { return new ColourRow(model, item, ColourRow::Sizes::tile(), parent); },
                      colourRow);
}

void TileGrid::showValues(TileView& tile) const
{
    tile.setGlobalNudge(model_.globalNudge());
    tile.setColourOnlyInForce(model_.colourOnlyInForce());
    tile.setStrength(model_.strength(*tile.item()));
}

void TileGrid::placeTiles()
{
    placeTiles(anchorInView());
}

void TileGrid::placeTiles(const std::optional<ViewAnchor>& anchor)
{
    ++work_.placements;
    placing_ = true;
    placementPending_ = false;
    const bool portrait = model_.mostlyPortrait();
    // The scroll bar's room is always kept, so a bar that comes or goes never changes the columns.
    const int gridWidth = std::max(0, width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    layout_ = tileLayoutForGrid(gridWidth, portrait);
    int y = TileLayout::topMargin;
    for (size_t start = 0; start < order_.size(); start += size_t(layout_.columns)) {
        const size_t end = std::min(order_.size(), start + size_t(layout_.columns));
        int rowHeight = 0;
        for (size_t index = start; index < end; ++index) {
            order_[index]->setPortrait(portrait);
            rowHeight = std::max(rowHeight, order_[index]->heightForWidth(layout_.width));
        }
        int x = TileLayout::sideMargin;
        for (size_t index = start; index < end; ++index) {
            order_[index]->setGeometry(x, y, layout_.width, order_[index]->heightForWidth(layout_.width));
            x += layout_.width + TileLayout::gap;
        }
        y += rowHeight + (end < order_.size() ? TileLayout::gap : 0);
    }
    page_->resize(gridWidth, y + TileLayout::bottomMargin);
    restoreAnchor(anchor);
    placing_ = false;
    scheduleFollowView();
}

// Rows above the view grow and shrink as their results come and go (the colour row, a note);
// the photographer's tiles stay where they were on screen. A row leaving at the top with less than
// half of it in view is not what the photographer looks at: the row under it holds the view.
std::optional<TileGrid::ViewAnchor> TileGrid::anchorInView() const
{
    const int top = verticalScrollBar()->value();
    for (const TileView* tile : order_)
        if (tile->geometry().center().y() >= top) return ViewAnchor{tile->item()->id, tile->y() - top};
    return std::nullopt;
}

void TileGrid::restoreAnchor(const std::optional<ViewAnchor>& anchor)
{
    const TileView* tile = anchor ? tileFor(anchor->item) : nullptr;
    if (tile) verticalScrollBar()->setValue(tile->y() - anchor->fromTop);
}

void TileGrid::scheduleFollowView()
{
    if (followPending_) return;
    followPending_ = true;
    QTimer::singleShot(0, this, &TileGrid::followView);
}

void TileGrid::followView()
{
    followPending_ = false;
    const int screen = viewport()->height();
    const int top = verticalScrollBar()->value();
    const QRect shown(0, top, page_->width(), screen);
    const QRect kept(0, top - 2 * screen, page_->width(), 5 * screen);
    std::set<Uuid> onScreen;
    std::set<Uuid> near;
    for (auto* tile : order_) {
        const QRect place = tile->geometry();
        const bool inSight = place.intersects(shown);
        tile->setInSight(inSight);
        if (inSight)
            onScreen.insert(tile->item()->id);
        else if (place.intersects(kept))
            near.insert(tile->item()->id);
        else
            tile->releasePixmaps();
    }
    if (!order_.empty()) {
        const QSizeF block = QSizeF(order_.front()->pictureBlockRect().size()) * devicePixelRatioF();
        model_.previews().setTileBox({block.width(), block.height()});
    }
    model_.previews().setInView(std::move(onScreen), std::move(near));
}

void TileGrid::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    placeTiles();
}

bool TileGrid::eventFilter(QObject* watched, QEvent* event)
{
    // A tile whose height may have changed (a card came or went) asks its parent, the page, to lay
    // out: the tiles move when their heights did, and nothing else of the grid is done again.
    if (watched == page_ && event->type() == QEvent::LayoutRequest && !placing_) schedulePlacement();
    return QScrollArea::eventFilter(watched, event);
}

void TileGrid::schedulePlacement()
{
    if (placementPending_) return;
    placementPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!placementPending_) return;
        placementPending_ = false;
        if (heightsChanged()) placeTiles();
    });
}

bool TileGrid::heightsChanged() const
{
    for (const TileView* tile : order_)
        if (tile->height() != tile->heightForWidth(layout_.width)) return true;
    return false;
}

} // namespace oxel
