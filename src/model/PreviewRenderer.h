#pragma once

#include "async/CancelToken.h"
#include "async/Task.h"
#include "async/WorkPool.h"
#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"
#include "library/BatchItem.h"
#include "model/TileBox.h"
#include "platform/Uuid.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <vector>

namespace oxel {

// The previews of the open batch's developed items. At most one render of an item runs at a time;
// settings asked for meanwhile wait behind it, only the newest of them. A finished render is shown
// on its item, and once no newer settings wait for it the owner hears that the item shows its
// newest preview, unless that preview was made again for the result and settings it showed before.
// Each preview shown leaves on its item, in the same turn, a copy of it as a tile draws it (see
// `developedCopy`): the tile's picture for that preview, which stands in for it once let go.
// A render made from a result the item no longer holds is dropped unseen. An item
// that left the open batch while it rendered keeps that picture, and nothing of it waits, renders
// again or stays here. A pass asks again for every developed item once the batch's controls have
// rested for `restDelay`; a new pass replaces the one still resting.
//
// What a pass asks for waits here, not on the work pool: renders take all pool threads but one (the
// tiles' scaled copies and stand-ins go there; the tiles in view may take that one too), and each
// free turn goes to the waiting item nearest the view as it is then (on screen, then near it, then
// the rest, each in batch order), so settings that replace waiting ones take their place and a
// light moved again never waits behind the renders of the one before. While an item on screen
// renders, nothing further away starts, and a view moved onto waiting tiles stops renders further
// away to take their turns: the tiles in view have the processors to themselves. A tile in view
// keeps the cached pictures its last render read (the original scaled to the render, the
// transfer's masks) for as long as it stays in view, within half the cache's bound, so a pass
// through the rest of the batch never lets them go; and once the view has rested for
// `viewRestDelay`, the tiles on screen whose pictures are not kept are prepared, from the top and
// one round of the render turns at most, ahead of any render out of sight, so that the next light
// takes only their render there and a screen of many tiles soon rests. The ones on screen render at the
// photographer's priority, the others behind whatever the photographer asks for meanwhile; what the
// photographer asks for starts at once. Renders run on the work pool, and one that fails leaves its
// item without a new preview until the next request. The owner runs the tasks in its scope, gives
// each item's settings and says which items the open batch holds. Main thread only.
//
// What holds after every turn of the main thread:
// - an item is idle, waiting (settings wait for a turn), rendering or preparing, and only one of
//   them; settings that wait behind a running render or preparing are marked on it;
// - a tile whose copy was made from the item's preview, at the item's result and newest settings
//   and at least as large as the tiles draw it, shows its newest picture: nothing is made for it
//   again, however often the cache lets the preview go;
// - a tile never gets a picture made at older settings than the one it has: an item's copy and
//   preview change together, from newer renders only, and whatever is older than the newest
//   settings has them waiting or rendering;
// - a preview is made again for the same result and settings at most once a rest of the view;
// - nothing of an item the open batch no longer holds is kept once its last render ended.
class PreviewRenderer {
public:
    // Makes the developed picture of a result with these settings, or nothing once asked to stop;
    // must be safe on any thread.
    using Render = std::function<std::optional<Bitmap>(const DevelopInput&, const DevelopSettings&, std::stop_token)>;
    // Makes the cached pictures a render with these settings reads and holds them in the thread's
    // open render pins, from a stop on starting none it still lacks; must be safe on any thread.
    using Prepare = std::function<void(const DevelopInput&, const DevelopSettings&, std::stop_token)>;
    // What the renderer works with; `standard` renders and prepares with the develop order.
    struct Environment {
        WorkPool* pool;
        Render render;
        Prepare prepare; // none: no tile is prepared ahead of a light

        static Environment standard(WorkPool& pool);
    };
    using Items = std::vector<std::shared_ptr<BatchItem>>;

    static constexpr std::chrono::milliseconds restDelay{30};
    static constexpr std::chrono::milliseconds viewRestDelay{300};

    explicit PreviewRenderer(Environment environment);
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    std::function<void(Task<void>)> spawn;                              // runs a task in the owner's scope
    std::function<DevelopSettings(const BatchItem&)> settingsFor;       // how the item is developed now
    std::function<const Items&()> items;                                // the open batch's items, in order
    std::function<void(const std::shared_ptr<BatchItem>&)> newestShown; // the item shows its newest preview

    // Asks for a preview of a developed item with its settings as they are now, at the
    // photographer's priority.
    void request(const std::shared_ptr<BatchItem>& item);
    // Asks again for the preview of an item whose tile lacks it because the shared cache let the
    // preview go; nothing while the preview is held, a render of the item waits or runs, the tile
    // is out of sight, its copy is its newest picture already, or its preview was made again
    // already since the view last moved: when the previews in view do not fit the cache together,
    // their copies stand in rather than each render letting another go.
    void remake(const std::shared_ptr<BatchItem>& item);
    // Gives an item whose result just came, or was rebuilt from the library, with a preview made
    // at `madeAt` its copy: made from that preview while it is held, or else `copy`, made from the
    // result's kept thumbnail (see `developedCopy`). The thumbnail was written at `madeAt`: a
    // preview made again at it writes nothing.
    void keepStandIn(const std::shared_ptr<BatchItem>& item, const DevelopSettings& madeAt,
                     std::optional<Bitmap> copy = std::nullopt);
    // Asks again for every developed item once the controls have rested.
    void restartPass();
    // The items whose tiles are on screen, and those near it. Until told, every item counts as
    // on screen.
    void setInView(std::set<Uuid> onScreen, std::set<Uuid> near);
    // The block the tiles draw their pictures in: copies are made for the largest told, so that a
    // window made smaller and larger again finds them large enough.
    void setTileBox(TileBox box);
    const TileBox& tileBox() const { return tileBox_; }
    // A new batch: nothing of the old one waits for a render or counts as in view.
    void dropWanted();

    // Settings waiting for an item's turn or behind its running render, and the priority they
    // render at.
    struct Wanted {
        DevelopSettings settings;
        WorkPriority priority;
    };
    enum class State { idle, waiting, rendering, preparing };
    State state(const Uuid& item) const;
    // The settings waiting for each item's turn or behind its running render, the items rendering
    // or preparing, and those of them that are preparing, for no preview.
    std::map<Uuid, Wanted> wanted() const;
    std::set<Uuid> inFlight() const;
    std::set<Uuid> preparing() const;
    // The items the renderer keeps anything of.
    size_t recordCount() const { return records_.size(); }
    // Whether the item's tile shows its newest picture: its copy, made from the preview of the
    // result and settings it has now, at least as large as the tiles draw it.
    bool copyIsNewest(const BatchItem& item) const;

private:
    // The result and settings a preview was made at.
    struct MadeAt {
        std::shared_ptr<const JobOutcome> outcome;
        DevelopSettings settings;
        bool operator==(const MadeAt&) const = default;
    };
    // The cached pictures kept for a tile in view, with the result they were read for.
    struct Kept {
        std::shared_ptr<const JobOutcome> outcome;
        std::vector<PictureCache::Pin> read;
        size_t bytes = 0;
    };
    // All the renderer knows of one item.
    struct Record {
        State state = State::idle;         // waiting only while `wanted` is set and nothing runs
        std::optional<Wanted> wanted;      // waiting for a turn, or behind what runs
        bool remaking = false;             // asked for only because its tile was painted without it
        std::stop_source stop;             // of the render or preparing that runs
        std::optional<MadeAt> renderingAt; // what the running render makes
        std::optional<Kept> kept;          // while the tile is in view
        std::optional<MadeAt> preview;     // of the preview the item holds
        std::optional<MadeAt> announced;   // of the newest preview the owner heard of
        bool preparedThisRest = false;     // tried once this rest of the view
        bool remadeThisRest = false;       // made again once this rest of the view
        bool running() const { return state == State::rendering || state == State::preparing; }
    };
    // The one place an item's state changes: work that starts takes a fresh stop and is counted.
    void setState(Record& record, State state);
    // Settings asked for: waiting, or marked behind what runs.
    void markWanted(Record& record, Wanted wanted);
    void dropWanted(Record& record);

    bool holds(const std::shared_ptr<BatchItem>& item) const;
    // Whether the item's newest settings render already, or its tile has a picture of them.
    bool hasNewest(const BatchItem& item, const Record& record) const;
    bool ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority);
    // Starts the item's waiting settings unless it renders already.
    void start(const std::shared_ptr<BatchItem>& item);
    // Gives the free turns to the waiting items nearest the view.
    void pump();
    std::shared_ptr<BatchItem> nextWaiting();
    // Forgets what is kept of items the open batch no longer holds and that run nothing.
    void forgetGone(const std::map<Uuid, size_t>& place);
    // Stops as many renders of tiles out of sight as tiles in view wait for a turn.
    void stopRendersOffScreen();
    bool rendersOnScreen() const;
    // A render's preview, its copy and the cached pictures it read; nothing of a render stopped
    // for newer settings.
    struct Made {
        std::optional<PictureHandle> preview;
        std::optional<Bitmap> copy;
        std::vector<PictureCache::Pin> read;
        bool stopped = false;
    };
    Task<void> render(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                      DevelopSettings settings, WorkPriority priority, std::stop_token stop);
    void finished(const std::shared_ptr<BatchItem>& item, const std::shared_ptr<const JobOutcome>& outcome,
                  const DevelopSettings& settings, Made made);
    // Shows a preview and its copy on the item together, copy first, so that a tile never scales
    // the preview itself when the copy will do.
    void show(BatchItem& item, Record& record, PictureHandle preview, std::optional<Bitmap> copy, MadeAt madeAt);
    Task<void> pass(CancelToken cancel);
    Task<void> restView(CancelToken cancel);
    // Starts preparing the tiles in view whose pictures are not kept, once the view has rested.
    void prepareInView();
    Task<void> prepare(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                       DevelopSettings settings, std::stop_token stop);
    // Keeps what an item's render or preparing read while its tile is in view and room is left.
    void keepRead(const BatchItem& item, Record& record, const std::shared_ptr<const JobOutcome>& outcome,
                  std::vector<PictureCache::Pin> read);
    size_t keptBytes() const;
    // 0 on screen, 1 near it, 2 further away.
    int distanceFromView(const BatchItem& item) const;
    // A new rest of the view: each tile may be prepared and made again once more.
    void restartViewRest();

    Environment environment_;
    std::map<Uuid, Record> records_;
    size_t running_ = 0; // records rendering or preparing
    std::set<Uuid> onScreen_;
    std::set<Uuid> near_;
    std::optional<CancelSource> pass_;
    TileBox tileBox_ = TileBox::standard();
    bool viewRested_ = false;                 // the view has not moved for `viewRestDelay`
    size_t preparedThisRest_ = 0;             // tiles prepared since the view last moved
    std::optional<CancelSource> restWaiting_; // for that delay
};

} // namespace oxel
