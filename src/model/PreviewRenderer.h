#pragma once

#include "async/CancelToken.h"
#include "async/Task.h"
#include "async/WorkPool.h"
#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "develop/TileBox.h"
#include "imaging/Bitmap.h"
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
#include <utility>
#include <vector>

namespace oxel {

// The developed pictures of the open batch's items. A tile's picture is made at the size the
// tiles draw it, through the whole develop order at that scale, and reaches its item together with
// the item's preview, a picture of the same result and settings at full preview size that is made
// only when a view shows it whole (the lightbox, compare). At most one render of an item runs at a
// time; settings asked for meanwhile wait behind it, only the newest of them. Every render that
// returns a picture of the item's result is shown, and once no newer settings wait the owner hears
// that the item shows its newest picture, unless it heard of the same settings already. A render
// made from a result the item no longer holds is dropped unseen. An item that left the open batch
// while it rendered keeps that picture, and nothing of it waits, renders again or stays here. A
// pass asks again for every developed item once the batch's controls have rested for `restDelay`;
// a new pass replaces the one still resting and stops the renders of the settings before.
//
// What waits is kept here, not on the work pool: each free turn goes to the waiting item nearest
// the view as it is then (on screen, then near it, then the rest, each in batch order), so settings
// that replace waiting ones take their place and a light moved again never waits behind the
// renders of the one before. Tiles on screen may take every pool thread; renders of tiles out of
// sight leave one to what the tiles ask for meanwhile, and give up their turns to tiles on screen
// that wait for one. The ones on screen render at the photographer's priority. Renders run on the
// work pool, and one that fails leaves its item's picture as it was until the next request. The
// owner runs the tasks in its scope, gives each item's settings and says which items the open
// batch holds. Main thread only.
//
// What holds after every turn of the main thread:
// - an item is idle, waiting (settings wait for a turn) or rendering, and only one of them;
//   settings that wait behind a running render are marked on it;
// - nothing is rendered for the settings and tile size that render already or that the tile's
//   picture was made at;
// - a tile never gets a picture made at older settings than the one it has: pictures of an item
//   come from its renders in the order they were asked for, and whatever is older than the newest
//   settings has them waiting or rendering;
// - nothing of an item the open batch no longer holds is kept once its last render ended;
// - the cached pictures a tile's last render read (the original and transfer at the tile's size,
//   its masks) are held only while the tile is on screen, so the next light there renders only the
//   last steps, whatever the pass read since.
class PreviewRenderer {
public:
    // Makes the developed picture of a result with these settings at preview size, or nothing;
    // must be safe on any thread.
    using Render = std::function<std::optional<Bitmap>(const DevelopInput&, const DevelopSettings&, std::stop_token)>;
    // Makes the tile's picture of a result with these settings, fitted to the block, or nothing
    // once asked to stop; must be safe on any thread.
    using TilePicture =
        std::function<std::optional<Bitmap>(const DevelopInput&, const DevelopSettings&, TileBox, std::stop_token)>;
    // The size of the preview `render` makes.
    using PreviewSize = std::function<std::pair<int64_t, int64_t>(const DevelopInput&)>;
    // What the renderer works with; `standard` develops with the develop order.
    struct Environment {
        WorkPool* pool;
        Render render;
        TilePicture tilePicture;
        PreviewSize previewSize;

        static Environment standard(WorkPool& pool);
    };
    using Items = std::vector<std::shared_ptr<BatchItem>>;

    static constexpr std::chrono::milliseconds restDelay{30};

    explicit PreviewRenderer(Environment environment);
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    std::function<void(Task<void>)> spawn;                              // runs a task in the owner's scope
    std::function<DevelopSettings(const BatchItem&)> settingsFor;       // how the item is developed now
    std::function<const Items&()> items;                                // the open batch's items, in order
    std::function<void(const std::shared_ptr<BatchItem>&)> newestShown; // the item shows its newest picture

    // Asks for the picture of a developed item with its settings as they are now, at the
    // photographer's priority.
    void request(const std::shared_ptr<BatchItem>& item);
    // Asks for the picture of an item whose result just came or was rebuilt, at the priority its
    // place in the view gives it; one whose kept thumbnail shows its settings is asked for only once
    // it comes near the view.
    void follow(const std::shared_ptr<BatchItem>& item);
    // The item's picture came with its result, made for the standard tile block at its copy's
    // settings: nothing is made for them again, and the owner writes its thumbnail.
    void tookPicture(const std::shared_ptr<BatchItem>& item);
    // The owner's thumbnail of the item was written at these settings: the item's first picture at
    // them has nothing new to tell.
    void thumbnailKeptAt(const std::shared_ptr<BatchItem>& item, const DevelopSettings& madeAt);
    // Asks again for every developed item once the controls have rested.
    void restartPass();
    // The items whose tiles are on screen, and those near it. Until told, every item counts as
    // on screen.
    void setInView(std::set<Uuid> onScreen, std::set<Uuid> near);
    // The block the tiles draw their pictures in: pictures are made for the largest told, so that
    // a window made smaller and larger again finds them large enough; pictures made for a smaller
    // block are made again.
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
    enum class State { idle, waiting, rendering };
    State state(const Uuid& item) const;
    // The settings waiting for each item's turn or behind its running render, and the items rendering.
    std::map<Uuid, Wanted> wanted() const;
    std::set<Uuid> inFlight() const;
    // The items the renderer keeps anything of.
    size_t recordCount() const { return records_.size(); }
    // Whether the item's tile shows its newest picture: made from the result and settings it has
    // now, at least as large as the tiles draw it.
    bool copyIsNewest(const BatchItem& item) const;

private:
    // The result and settings a picture was made at.
    struct MadeAt {
        std::shared_ptr<const JobOutcome> outcome;
        DevelopSettings settings;
        bool operator==(const MadeAt&) const = default;
    };
    // All the renderer knows of one item.
    struct Record {
        State state = State::idle;                  // waiting only while `wanted` is set and nothing runs
        std::optional<Wanted> wanted;               // waiting for a turn, or behind what runs
        std::stop_source stop;                      // of the render that runs
        std::optional<MadeAt> renderingAt;          // what the running render makes
        TileBox renderingFor;                       // and for which block
        std::optional<MadeAt> shown;                // of the picture the tile has
        TileBox shownFor;                           // and the block it was made for
        std::optional<MadeAt> announced;            // of the newest picture the owner heard of
        std::optional<DevelopSettings> thumbnailAt; // of the owner's thumbnail, until a picture is shown
        std::vector<PictureCache::Pin> read;        // by the last render, while on screen
        bool running() const { return state == State::rendering; }
    };
    // The one place an item's state changes: a render that starts takes a fresh stop and is counted.
    void setState(Record& record, State state);
    // Settings asked for: waiting, or marked behind what runs.
    void markWanted(Record& record, Wanted wanted);
    void dropWanted(Record& record);

    bool holds(const std::shared_ptr<BatchItem>& item) const;
    // Whether pictures made for `made` serve tiles of the block as told now.
    bool covers(const TileBox& made) const;
    // Whether the item's newest settings render already, or its tile has a picture of them.
    bool hasNewest(const BatchItem& item, const Record& record) const;
    // Whether the item's kept thumbnail shows its settings as they are now, and nothing of its own
    // was shown, waits or renders.
    bool keptThumbnailServes(const BatchItem& item) const;
    bool ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority);
    WorkPriority priorityInView(const BatchItem& item) const;
    // Starts the item's waiting settings unless it renders already.
    void start(const std::shared_ptr<BatchItem>& item);
    // Gives the free turns to the waiting items nearest the view.
    void pump();
    std::shared_ptr<BatchItem> nextWaiting();
    // Forgets what is kept of items the open batch no longer holds and that run nothing.
    void forgetGone(const std::map<Uuid, size_t>& place);
    // Stops as many renders of tiles out of sight as tiles in view wait for a turn.
    void stopRendersOffScreen();
    Task<void> render(std::shared_ptr<BatchItem> item, MadeAt madeAt, TileBox box, WorkPriority priority,
                      std::stop_token stop);
    // A render's picture, or nothing, with the cached pictures it read.
    struct Rendered {
        std::optional<Bitmap> picture;
        std::vector<PictureCache::Pin> read;
    };
    void finished(const std::shared_ptr<BatchItem>& item, const MadeAt& madeAt, TileBox box, Rendered rendered);
    // Shows a tile's picture and the preview of the same settings on the item together.
    void show(BatchItem& item, Record& record, Bitmap picture, const MadeAt& madeAt, TileBox box);
    Task<void> pass(CancelToken cancel);
    // 0 on screen, 1 near it, 2 further away.
    int distanceFromView(const BatchItem& item) const;

    Environment environment_;
    std::map<Uuid, Record> records_;
    size_t running_ = 0; // records rendering
    std::set<Uuid> onScreen_;
    std::set<Uuid> near_;
    std::optional<CancelSource> pass_;
    TileBox tileBox_ = TileBox::standard();
};

} // namespace oxel
