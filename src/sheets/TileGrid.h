#pragma once

#include "async/Signal.h"
#include "library/BatchItem.h"
#include "sheets/TileClock.h"
#include "sheets/TileLayout.h"
#include "ui/window/ModelWatch.h"

#include <QScrollArea>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace oxel {

class TileView;

// Every photograph of the open batch as a tile, in the batch's order, in rows of equal-width
// tiles that scroll vertically. Tiles are kept by item id, so a re-layout moves them between rows
// rather than making them anew. The grid follows the model's changes once per event-loop turn.
// What a tile asks for that the grid cannot do itself leaves it as the grid's signals.
class TileGrid : public QScrollArea {
    Q_OBJECT
public:
    explicit TileGrid(AppModel& model, QWidget* parent = nullptr);
    ~TileGrid() override;

    void setComparing(bool comparing);
    bool comparing() const { return comparing_; }

    TileLayout currentLayout() const { return layout_; }
    // The tile of an item; null when the item has none.
    TileView* tileFor(const Uuid& id) const;
    int tileCount() const { return static_cast<int>(tiles_.size()); }
    // Brings the tiles and their places up to date now rather than at the end of the turn.
    void refreshNow();
    TileClock& clock() { return clock_; }
    // What the grid has done since it was made: the checks that keep a slider's drag cheap read it.
    struct Work {
        int tilesConfigured = 0;
        int placements = 0;
    };
    const Work& work() const { return work_; }

Q_SIGNALS:
    void locateRequested(std::shared_ptr<BatchItem> item);
    void contextMenuRequested(std::shared_ptr<BatchItem> item, QPoint globalPosition);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void refreshValues();
    void syncTiles();
    TileView* makeTile(const std::shared_ptr<BatchItem>& item);
    void configure(TileView& tile);
    void showValues(TileView& tile) const;
    // Where the first tile in view stands on screen, so that a new layout can put it back there.
    struct ViewAnchor {
        Uuid item;
        int fromTop = 0;
    };
    std::optional<ViewAnchor> anchorInView() const;
    void placeTiles();
    void placeTiles(const std::optional<ViewAnchor>& anchor);
    void restoreAnchor(const std::optional<ViewAnchor>& anchor);
    void schedulePlacement();
    bool heightsChanged() const;
    // Tells the previews which tiles are on screen and which near it, within two screen heights;
    // tiles further away let their pictures' scaled copies go.
    void followView();
    void scheduleFollowView();

    AppModel& model_;
    QWidget* page_;
    TileClock clock_;
    std::map<Uuid, TileView*> tiles_;
    std::vector<TileView*> order_;
    TileLayout layout_;
    bool comparing_ = false;
    bool placementPending_ = false;
    bool placing_ = false;
    bool followPending_ = false;
    Work work_;
    ModelWatch watch_;
    ModelWatch valuesWatch_;
};

} // namespace oxel
