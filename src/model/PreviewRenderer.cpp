#include "model/PreviewRenderer.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "develop/DevelopOrder.h"
#include "develop/TilePicture.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <exception>
#include <string>

namespace oxel {

PreviewRenderer::Environment PreviewRenderer::Environment::standard(WorkPool& pool)
{
    return {&pool,
            [](const DevelopInput& outcome, const DevelopSettings& settings, std::stop_token stop) {
                return renderDeveloped(outcome, settings, std::move(stop));
            },
            [](const DevelopInput& outcome, const DevelopSettings& settings, TileBox box, std::stop_token stop) {
                const auto [previewWidth, previewHeight] = developedSize(outcome);
                const auto [width, height] = box.fitted(previewWidth, previewHeight);
                if (width < 1 || height < 1) return std::optional<Bitmap>();
                return renderTilePicture(outcome, settings, width, height, std::move(stop));
            },
            [](const DevelopInput& outcome) { return developedSize(outcome); }};
}

PreviewRenderer::PreviewRenderer(Environment environment) : environment_(std::move(environment))
{}

PreviewRenderer::State PreviewRenderer::state(const Uuid& item) const
{
    const auto found = records_.find(item);
    return found == records_.end() ? State::idle : found->second.state;
}

std::map<Uuid, PreviewRenderer::Wanted> PreviewRenderer::wanted() const
{
    std::map<Uuid, Wanted> wanted;
    for (const auto& [id, record] : records_)
        if (record.wanted) wanted.emplace(id, *record.wanted);
    return wanted;
}

std::set<Uuid> PreviewRenderer::inFlight() const
{
    std::set<Uuid> running;
    for (const auto& [id, record] : records_)
        if (record.running()) running.insert(id);
    return running;
}

void PreviewRenderer::setState(Record& record, State state)
{
    const bool wasRunning = record.running();
    record.state = state;
    if (record.running() == wasRunning) return;
    // A render that starts takes a fresh stop.
    if (record.running()) record.stop = std::stop_source();
    running_ = record.running() ? running_ + 1 : running_ - 1;
}

void PreviewRenderer::markWanted(Record& record, Wanted wanted)
{
    record.wanted = std::move(wanted);
    if (!record.running()) setState(record, State::waiting);
}

void PreviewRenderer::dropWanted(Record& record)
{
    record.wanted.reset();
    if (!record.running()) setState(record, State::idle);
}

bool PreviewRenderer::holds(const std::shared_ptr<BatchItem>& item) const
{
    const Items& held = items();
    return std::find(held.begin(), held.end(), item) != held.end();
}

bool PreviewRenderer::covers(const TileBox& made) const
{
    return made.width >= tileBox_.width && made.height >= tileBox_.height;
}

bool PreviewRenderer::copyIsNewest(const BatchItem& item) const
{
    const auto found = records_.find(item.id);
    if (found == records_.end() || !item.developedCopy()) return false;
    const Record& record = found->second;
    return record.shown == MadeAt{item.result(), settingsFor(item)} && covers(record.shownFor);
}

bool PreviewRenderer::hasNewest(const BatchItem& item, const Record& record) const
{
    const MadeAt newest{item.result(), settingsFor(item)};
    if (record.running() && record.renderingAt == newest && covers(record.renderingFor) &&
        !record.stop.stop_requested())
        return true;
    return !record.running() && copyIsNewest(item);
}

WorkPriority PreviewRenderer::priorityInView(const BatchItem& item) const
{
    return distanceFromView(item) == 0 ? WorkPriority::userInitiated : WorkPriority::utility;
}

void PreviewRenderer::request(const std::shared_ptr<BatchItem>& item)
{
    if (ask(item, WorkPriority::userInitiated)) start(item);
}

void PreviewRenderer::follow(const std::shared_ptr<BatchItem>& item)
{
    // A result far from the view shows its kept thumbnail, made at the settings it has, until it
    // comes near the view or its settings move: a reopen makes the pictures of the view first.
    if (!item || (distanceFromView(*item) == 2 && keptThumbnailServes(*item))) return;
    if (ask(item, priorityInView(*item))) pump();
}

bool PreviewRenderer::keptThumbnailServes(const BatchItem& item) const
{
    const auto found = records_.find(item.id);
    if (found == records_.end()) return false;
    const Record& record = found->second;
    return !record.shown && record.state == State::idle && record.thumbnailAt == settingsFor(item);
}

void PreviewRenderer::tookPicture(const std::shared_ptr<BatchItem>& item)
{
    if (!item || !item->result() || !item->developedCopy()) return;
    Record& record = records_[item->id];
    record.shown = record.announced = MadeAt{item->result(), item->developedCopy()->madeAt};
    record.shownFor = TileBox::standard();
}

void PreviewRenderer::thumbnailKeptAt(const std::shared_ptr<BatchItem>& item, const DevelopSettings& madeAt)
{
    if (item) records_[item->id].thumbnailAt = madeAt;
}

bool PreviewRenderer::ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority)
{
    if (!item || !item->result()) return false;
    Record& record = records_[item->id];
    // Settings that render already, or that the tile's picture was made at, are not made again.
    if (hasNewest(*item, record)) {
        dropWanted(record);
        return false;
    }
    // Newer settings replace waiting ones; the more urgent of their priorities stays.
    if (record.wanted) priority = std::min(priority, record.wanted->priority);
    markWanted(record, {settingsFor(*item), priority});
    return true;
}

void PreviewRenderer::setInView(std::set<Uuid> onScreen, std::set<Uuid> near)
{
    onScreen_ = std::move(onScreen);
    near_ = std::move(near);
    for (auto& [id, record] : records_)
        if (!onScreen_.contains(id)) record.read.clear();
    // Reopened results that come near the view get their own pictures before they come on screen.
    for (const auto& item : items())
        if (item->result() && distanceFromView(*item) < 2 && keptThumbnailServes(*item))
            ask(item, priorityInView(*item));
    pump();
}

void PreviewRenderer::setTileBox(TileBox box)
{
    const TileBox before = tileBox_;
    tileBox_.width = std::max(tileBox_.width, box.width);
    tileBox_.height = std::max(tileBox_.height, box.height);
    if (tileBox_.width == before.width && tileBox_.height == before.height) return;
    // Larger tiles: every picture made for the smaller ones is made again, those in view first.
    for (const auto& item : items())
        if (item->developedCopy()) ask(item, priorityInView(*item));
    pump();
}

void PreviewRenderer::dropWanted()
{
    // What runs ends on its own and is forgotten then, its item no longer in the batch.
    std::erase_if(records_, [](const auto& entry) { return !entry.second.running(); });
    for (auto& [id, record] : records_) {
        Record running;
        running.state = record.state;
        running.stop = record.stop;
        record = std::move(running);
    }
    onScreen_.clear();
    near_.clear();
}

void PreviewRenderer::start(const std::shared_ptr<BatchItem>& item)
{
    const auto found = records_.find(item->id);
    if (found == records_.end() || !item->result()) return;
    Record& record = found->second;
    if (record.running() || !record.wanted) return;
    const Wanted taken = *std::exchange(record.wanted, std::nullopt);
    setState(record, State::rendering);
    // Taken now: the task may start later, when the item may hold another result.
    record.renderingAt = MadeAt{item->result(), taken.settings};
    record.renderingFor = tileBox_;
    const auto priority = distanceFromView(*item) == 0 ? WorkPriority::userInitiated : taken.priority;
    spawn(render(item, *record.renderingAt, tileBox_, priority, record.stop.get_token()));
}

void PreviewRenderer::pump()
{
    const unsigned threads = environment_.pool->threadCount();
    while (const auto next = nextWaiting()) {
        const bool onScreen = distanceFromView(*next) == 0;
        // Renders of tiles out of sight leave one pool thread to what the tiles ask for meanwhile
        // (thumbnails, look thumbnails); the tiles in view may take every thread.
        const size_t turns = onScreen ? threads : std::max(1u, threads - 1);
        if (running_ >= turns) {
            if (onScreen) stopRendersOffScreen();
            return;
        }
        start(next);
    }
}

void PreviewRenderer::stopRendersOffScreen()
{
    // The view moved onto tiles that wait: renders of tiles out of sight give up their turns, the
    // furthest first, and wait again behind them.
    size_t waitingOnScreen = 0;
    for (const auto& [id, record] : records_)
        if (record.state == State::waiting && onScreen_.contains(id)) ++waitingOnScreen;
    std::vector<std::shared_ptr<BatchItem>> offScreen;
    for (const auto& item : items()) {
        const auto found = records_.find(item->id);
        if (found != records_.end() && found->second.running() && !found->second.stop.stop_requested() &&
            distanceFromView(*item) > 0)
            offScreen.push_back(item);
    }
    std::stable_sort(offScreen.begin(), offScreen.end(),
                     [this](const auto& a, const auto& b) { return distanceFromView(*a) > distanceFromView(*b); });
    offScreen.resize(std::min(waitingOnScreen, offScreen.size()));
    for (const auto& item : offScreen) {
        records_.at(item->id).stop.request_stop();
        ask(item, WorkPriority::utility);
    }
}

void PreviewRenderer::forgetGone(const std::map<Uuid, size_t>& place)
{
    std::erase_if(records_, [&](const auto& entry) { return !entry.second.running() && !place.contains(entry.first); });
}

std::shared_ptr<BatchItem> PreviewRenderer::nextWaiting()
{
    const Items& held = items();
    std::map<Uuid, size_t> place;
    for (size_t index = 0; index < held.size(); ++index) place.emplace(held[index]->id, index);
    forgetGone(place);
    std::shared_ptr<BatchItem> best;
    std::pair<int, size_t> bestRank;
    for (auto& [id, record] : records_) {
        if (!record.wanted) continue;
        const auto found = place.find(id);
        // Gone from the batch, or its result with it, while it waited: nothing is left to render.
        if (found == place.end() || !held[found->second]->result()) {
            dropWanted(record);
            continue;
        }
        const auto& item = held[found->second];
        const std::pair rank{distanceFromView(*item), found->second};
        if (!record.running() && (!best || rank < bestRank)) {
            best = item;
            bestRank = rank;
        }
    }
    return best;
}

Task<void> PreviewRenderer::render(std::shared_ptr<BatchItem> item, MadeAt madeAt, TileBox box, WorkPriority priority,
                                   std::stop_token stop)
{
    auto make = [outcome = madeAt.outcome, settings = madeAt.settings, tilePicture = environment_.tilePicture, box,
                 stop] {
        RenderPins pinsOfThisRender(RenderPins::Scope::ownScope, RenderPins::Reading::once);
        auto picture = tilePicture(*outcome, settings, box, stop);
        return Rendered{std::move(picture), pinsOfThisRender.take()};
    };
    Rendered rendered;
    try {
        rendered = co_await offload(*environment_.pool, priority, std::move(make));
    } catch (const std::exception& failure) {
        // Out of memory or a codec's own failure: the item keeps its picture until the next request.
        diagnose("previews", std::string("rendering a tile's picture failed: ") + failure.what());
    }
    finished(item, madeAt, box, std::move(rendered));
}

void PreviewRenderer::finished(const std::shared_ptr<BatchItem>& item, const MadeAt& madeAt, TileBox box,
                               Rendered rendered)
{
    auto& picture = rendered.picture;
    // A pass, or a scroll past results yet to be made, reads far more than the cache holds: what
    // a render for a tile out of sight read goes first, before what the tiles on screen, or those
    // that just left it, read. These are the tile's own inputs: what the render read to make them
    // went first in any case, let go by the render's own scope off the main thread (`render`).
    const bool onScreen = onScreen_.contains(item->id);
    if (!onScreen)
        for (auto& pin : rendered.read) pin.letGoFirst();
    Record& record = records_[item->id];
    setState(record, record.wanted ? State::waiting : State::idle);
    record.renderingAt.reset();
    // A result cleared or replaced while it rendered: its picture is no longer the item's. A render
    // that returned its picture is shown even when it was asked to stop on the way back, and the
    // same settings asked for again meanwhile are not made a second time.
    const bool current = item->result() == madeAt.outcome && picture;
    if (current) {
        show(*item, record, std::move(*picture), madeAt, box);
        if (onScreen) record.read = std::move(rendered.read);
        if (record.wanted && hasNewest(*item, record)) dropWanted(record);
    }
    if (!holds(item)) {
        // The item left the open batch while it rendered: nothing of it is written, rendered again
        // or kept.
        dropWanted(record);
        return pump();
    }
    if (current && !record.wanted && record.announced != madeAt && copyIsNewest(*item)) {
        record.announced = madeAt;
        if (std::exchange(record.thumbnailAt, std::nullopt) != madeAt.settings) newestShown(item);
    }
    // The photographer's newest settings, and those of an item on screen, follow at once.
    if (record.wanted && record.wanted->priority == WorkPriority::userInitiated) start(item);
    pump();
}

void PreviewRenderer::show(BatchItem& item, Record& record, Bitmap picture, const MadeAt& madeAt, TileBox box)
{
    // The preview is made only when a view shows it whole, and again the same way once let go.
    const auto [width, height] = environment_.previewSize(*madeAt.outcome);
    PictureHandle preview(PictureRecipe{width, height,
                                        [outcome = madeAt.outcome, settings = madeAt.settings,
                                         render = environment_.render] { return render(*outcome, settings, {}); },
                                        "a preview could not be developed"});
    item.setDevelopedCopy(BatchItem::DevelopedCopy::counting(std::move(picture), preview, madeAt.settings));
    item.setPreviewImage(std::move(preview));
    record.shown = madeAt;
    record.shownFor = box;
}

void PreviewRenderer::restartPass()
{
    if (pass_) pass_->cancel();
    pass_.emplace();
    spawn(pass(pass_->token()));
}

Task<void> PreviewRenderer::pass(CancelToken cancel)
{
    co_await sleepFor(restDelay, cancel);
    if (cancel.cancelled()) co_return;
    // What renders for the light before is dropped: each item renders again with the new one.
    for (const auto& item : items())
        if (const auto found = records_.find(item->id);
            found != records_.end() && found->second.running() &&
            found->second.renderingAt != MadeAt{item->result(), settingsFor(*item)})
            found->second.stop.request_stop();
    for (const auto& item : items()) ask(item, priorityInView(*item));
    pump();
}

int PreviewRenderer::distanceFromView(const BatchItem& item) const
{
    if (onScreen_.empty() || onScreen_.contains(item.id)) return 0;
    return near_.contains(item.id) ? 1 : 2;
}

} // namespace oxel
