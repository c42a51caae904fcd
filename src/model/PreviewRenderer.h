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
// Each newest preview leaves a small developed copy on its item, which stands in for it once let go.
// A render made from a result the item no longer holds is dropped unseen. An item
// that left the open batch while it rendered keeps that picture, and nothing of it waits or
// renders again. A pass asks again for every developed item once the batch's controls have rested
// for `restDelay`; a new pass replaces the one still resting.
//
// What a pass asks for waits here, not on the work pool: renders take all pool threads but one (the
// tiles' scaled copies and stand-ins go there; the tiles in view may take that one too), and each free turn goes to the waiting item nearest
// the view as it is then (on screen, then near it, then the rest, each in batch order), so settings
// that replace waiting ones take their place and a light moved again never waits behind the renders
// of the one before. While an item on screen renders, nothing further away starts, and a view moved
// onto waiting tiles stops renders further away to take their turns: the tiles in view have the
// processors to themselves. A tile in view keeps the cached pictures its last render read (the
// original scaled to the render, the transfer's masks) for as long as it stays in view, within half
// the cache's bound, so a pass through the rest of the batch never lets them go; and
// once the view has rested for `viewRestDelay`, the tiles in view whose pictures are not kept are
// prepared, ahead of any render out of sight, so that the next light takes only their render. The ones on screen render at the
// photographer's priority,
// the others behind whatever the photographer asks for meanwhile; what the photographer asks for
// starts at once. Renders run on the work pool, and one that fails leaves its item without a new
// preview until the next request. The owner runs the tasks in its scope, gives each item's settings
// and says which items the open batch holds. Main thread only.
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
    // is out of sight or its preview was made again already since the view last moved: when the
    // previews in view do not fit the cache together, their developed copies stand in rather than
    // each render letting another go.
    void remake(const std::shared_ptr<BatchItem>& item);
    // Gives an item whose result just came its developed copy, from the preview it holds now.
    void keepStandIn(const std::shared_ptr<BatchItem>& item);
    // Asks again for every developed item once the controls have rested.
    void restartPass();
    // The items whose tiles are on screen, and those near it. Until told, every item counts as
    // on screen.
    void setInView(std::set<Uuid> onScreen, std::set<Uuid> near);
    // A new batch: nothing of the old one waits for a render or counts as in view.
    void dropWanted();

    // Settings waiting behind an item's running render, and the priority they render at.
    struct Wanted {
        DevelopSettings settings;
        WorkPriority priority;
    };
    // The settings waiting for each item's turn or behind its running render, and the items
    // rendering.
    const std::map<Uuid, Wanted>& wanted() const { return wanted_; }
    const std::set<Uuid>& inFlight() const { return inFlight_; }
    // Those of the items in flight that are being prepared, for no preview.
    const std::set<Uuid>& preparing() const { return preparing_; }

private:
    bool holds(const std::shared_ptr<BatchItem>& item) const;
    bool ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority);
    // Starts the item's waiting settings unless it renders already.
    void start(const std::shared_ptr<BatchItem>& item);
    // Gives the free turns to the waiting items nearest the view.
    void pump();
    std::shared_ptr<BatchItem> nextWaiting();
    // Stops as many renders of tiles out of sight as tiles in view wait for a turn.
    void stopRendersOffScreen();
    bool rendersOnScreen() const;
    Task<void> render(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                      DevelopSettings settings, WorkPriority priority);
    // A render's preview and the cached pictures it read; nothing of a render stopped for newer
    // settings.
    struct Made {
        std::optional<PictureHandle> preview;
        std::vector<PictureCache::Pin> read;
        bool stopped = false;
    };
    void finished(const std::shared_ptr<BatchItem>& item, const std::shared_ptr<const JobOutcome>& outcome,
                  const DevelopSettings& settings, Made made);
    // Whether the item's newest preview is new to the owner: a preview made again for the result
    // and settings it last showed has nothing new to write.
    bool shownAnew(const BatchItem& item, const std::shared_ptr<const JobOutcome>& outcome,
                   const DevelopSettings& settings);
    // Keeps a small developed copy of the item's newest preview, which stands in for it while the
    // preview is made again.
    Task<void> keepDevelopedCopy(std::shared_ptr<BatchItem> item, PictureHandle preview);
    Task<void> pass(CancelToken cancel);
    Task<void> restView(CancelToken cancel);
    // Starts preparing the tiles in view whose pictures are not kept, once the view has rested.
    void prepareInView();
    Task<void> prepare(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                       DevelopSettings settings);
    // Keeps what an item's render or preparing read while its tile is in view and room is left.
    void keepRead(const BatchItem& item, const std::shared_ptr<const JobOutcome>& outcome,
                  std::vector<PictureCache::Pin> read);
    size_t keptBytes() const;
    // 0 on screen, 1 near it, 2 further away.
    int distanceFromView(const BatchItem& item) const;

    Environment environment_;
    std::map<Uuid, Wanted> wanted_;
    std::set<Uuid> inFlight_;
    std::map<Uuid, std::stop_source> stops_; // of the renders in flight
    std::set<Uuid> onScreen_;
    std::set<Uuid> near_;
    std::optional<CancelSource> pass_;
    // The cached pictures kept for tiles in view, with the result they were read for.
    struct Kept {
        std::shared_ptr<const JobOutcome> outcome;
        std::vector<PictureCache::Pin> read;
        size_t bytes = 0;
    };
    std::map<Uuid, Kept> kept_;
    std::set<Uuid> preparing_; // in flight as well, for no preview
    std::set<Uuid> remaking_;  // waiting or rendering only because their tiles were painted without a preview
    // The result and settings of each item's newest preview shown.
    struct Shown {
        std::shared_ptr<const JobOutcome> outcome;
        DevelopSettings settings;
    };
    std::map<Uuid, Shown> shown_;
    // What one rest of the view has done; a moved view or a new batch starts another.
    struct ViewRest {
        std::set<Uuid> prepared;
        std::set<Uuid> remade;
        bool rested = false;                 // the view has not moved for `viewRestDelay`
        std::optional<CancelSource> waiting; // for that delay

        void reset();
    };
    ViewRest rest_;
};

} // namespace oxel
