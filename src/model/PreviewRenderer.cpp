#include "model/PreviewRenderer.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "develop/DevelopOrder.h"
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
            [](const DevelopInput& outcome, const DevelopSettings& settings, std::stop_token stop) {
                prepareDeveloped(outcome, settings, std::move(stop));
            }};
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

std::set<Uuid> PreviewRenderer::preparing() const
{
    std::set<Uuid> preparing;
    for (const auto& [id, record] : records_)
        if (record.state == State::preparing) preparing.insert(id);
    return preparing;
}

void PreviewRenderer::setState(Record& record, State state)
{
    const bool wasRunning = record.running();
    record.state = state;
    if (record.running() == wasRunning) return;
    // Work that starts takes a fresh stop.
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

bool PreviewRenderer::copyIsNewest(const BatchItem& item) const
{
    const auto& copy = item.developedCopy();
    const auto& preview = item.previewImage();
    if (!copy || !preview || !(copy->preview == *preview)) return false;
    const auto found = records_.find(item.id);
    if (found == records_.end() || found->second.preview != MadeAt{item.result(), settingsFor(item)}) return false;
    return tileBox_.coveredBy(preview->width(), preview->height(), copy->picture.width(), copy->picture.height());
}

void PreviewRenderer::request(const std::shared_ptr<BatchItem>& item)
{
    if (ask(item, WorkPriority::userInitiated)) start(item);
}

void PreviewRenderer::remake(const std::shared_ptr<BatchItem>& item)
{
    if (!item || !item->previewImage()) return;
    Record& record = records_[item->id];
    // A preparing makes no preview: the tile's request waits behind it.
    if (record.wanted || record.state == State::rendering) return;
    if (item->previewImage()->heldPin() || distanceFromView(*item) > 0 || copyIsNewest(*item)) return;
    if (std::exchange(record.remadeThisRest, true)) return;
    if (!ask(item, WorkPriority::userInitiated)) return;
    record.remaking = true;
    pump();
}

void PreviewRenderer::keepStandIn(const std::shared_ptr<BatchItem>& item, const DevelopSettings& madeAt,
                                  std::optional<Bitmap> copy)
{
    if (!item || !item->previewImage() || !item->result()) return;
    const PictureHandle preview = *item->previewImage();
    // Just delivered, the preview is held: its copy is made now, so the tile never waits for it.
    const auto pin = preview.heldPin();
    if (pin) copy = developedCopy(pin.bitmap(), tileBox_);
    Record& record = records_[item->id];
    show(*item, record, preview, std::move(copy), {item->result(), madeAt});
    record.announced = record.preview;
}

void PreviewRenderer::show(BatchItem& item, Record& record, PictureHandle preview, std::optional<Bitmap> copy,
                           MadeAt madeAt)
{
    // A copy that could not be made leaves the one before, which stands in better than nothing.
    if (copy) item.setDevelopedCopy(BatchItem::DevelopedCopy{std::move(*copy), preview});
    record.preview = std::move(madeAt);
    if (item.previewImage() != preview) item.setPreviewImage(std::move(preview));
}

bool PreviewRenderer::hasNewest(const BatchItem& item, const Record& record) const
{
    const MadeAt newest{item.result(), settingsFor(item)};
    if (record.state == State::rendering) return record.renderingAt == newest && !record.stop.stop_requested();
    if (record.preview != newest || !item.previewImage()) return false;
    return copyIsNewest(item) || item.previewImage()->heldPin();
}

bool PreviewRenderer::ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority)
{
    if (!item || !item->result()) return false;
    Record& record = records_[item->id];
    // Settings that render already, or that the tile's picture was made at, are not made again.
    if (hasNewest(*item, record)) {
        dropWanted(record);
        record.remaking = false;
        return false;
    }
    // Newer settings replace waiting ones; the more urgent of their priorities stays.
    if (record.wanted) priority = std::min(priority, record.wanted->priority);
    markWanted(record, {settingsFor(*item), priority});
    record.remaking = false;
    return true;
}

void PreviewRenderer::setInView(std::set<Uuid> onScreen, std::set<Uuid> near)
{
    if (onScreen != onScreen_) {
        for (auto& [id, record] : records_) {
            if (onScreen.contains(id)) continue;
            // What was kept or prepared for tiles that left the view is theirs no more; the cache
            // keeps it as it keeps any other picture.
            record.kept.reset();
            if (record.state == State::preparing) record.stop.request_stop();
            // A preview asked for again only because its tile was painted is not made once the tile
            // left the view before its turn, however many moves later: the copy stands in until it
            // is back. One already rendering keeps its mark, so that stopping it asks nothing again.
            if (!record.remaking) continue;
            dropWanted(record);
            if (!record.running()) record.remaking = false;
        }
        restartViewRest();
    }
    onScreen_ = std::move(onScreen);
    near_ = std::move(near);
    pump();
}

void PreviewRenderer::setTileBox(TileBox box)
{
    tileBox_.width = std::max(tileBox_.width, box.width);
    tileBox_.height = std::max(tileBox_.height, box.height);
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
    viewRested_ = false;
    if (restWaiting_) restWaiting_->cancel();
    restWaiting_.reset();
}

void PreviewRenderer::restartViewRest()
{
    for (auto& [id, record] : records_) record.preparedThisRest = record.remadeThisRest = false;
    preparedThisRest_ = 0;
    viewRested_ = false;
    if (restWaiting_) restWaiting_->cancel();
    restWaiting_.emplace();
    spawn(restView(restWaiting_->token()));
}

Task<void> PreviewRenderer::restView(CancelToken cancel)
{
    co_await sleepFor(viewRestDelay, cancel);
    if (cancel.cancelled()) co_return;
    viewRested_ = true;
    pump();
}

void PreviewRenderer::start(const std::shared_ptr<BatchItem>& item)
{
    const auto found = records_.find(item->id);
    if (found == records_.end() || !item->result()) return;
    Record& record = found->second;
    if (record.running() || !record.wanted) return;
    const Wanted taken = *std::exchange(record.wanted, std::nullopt);
    setState(record, State::rendering);
    record.renderingAt = MadeAt{item->result(), taken.settings};
    const auto priority = distanceFromView(*item) == 0 ? WorkPriority::userInitiated : taken.priority;
    // Taken now: the task may start later, when the item may hold another result.
    spawn(render(item, item->result(), taken.settings, priority, record.stop.get_token()));
}

void PreviewRenderer::pump()
{
    const unsigned threads = environment_.pool->threadCount();
    while (const auto next = nextWaiting()) {
        const bool onScreen = distanceFromView(*next) == 0;
        // The tiles in view are prepared before anything out of sight starts.
        if (!onScreen) prepareInView();
        if (!onScreen && rendersOnScreen()) return;
        // Renders of tiles out of sight leave one pool thread to what the tiles ask for meanwhile
        // (their scaled copies and stand-ins); the tiles in view may take every thread for the
        // moment they render, so that none of them waits for a turn.
        const size_t turns = onScreen ? threads : std::max(1u, threads - 1);
        if (running_ >= turns) {
            if (onScreen) stopRendersOffScreen();
            return;
        }
        start(next);
    }
    prepareInView();
}

void PreviewRenderer::prepareInView()
{
    if (!viewRested_ || !environment_.prepare) return;
    // Behind the renders of tiles in view, ahead of those out of sight, and leaving one thread to
    // what the tiles ask for meanwhile.
    const size_t turns = std::max(1u, environment_.pool->threadCount() - 1);
    if (keptBytes() >= PictureCache::shared().byteLimit() / 2) return;
    for (const auto& item : items()) {
        // One round gives each render turn of the next light a tile prepared, at the top of the
        // screen where that light shows first; the rest of a screen of many tiles read their
        // pictures with their render, rather than keeping every processor busy for seconds for a
        // light that may never come.
        if (running_ >= turns || preparedThisRest_ >= turns) return;
        const auto& result = item->result();
        if (!result || !onScreen_.contains(item->id)) continue;
        Record& record = records_[item->id];
        if (record.running() || record.wanted || record.preparedThisRest) continue;
        if (record.kept && record.kept->outcome == result) continue;
        // Once a rest: what did not fit beside the others is not tried again until the view moves.
        record.preparedThisRest = true;
        ++preparedThisRest_;
        setState(record, State::preparing);
        spawn(prepare(item, result, settingsFor(*item), record.stop.get_token()));
    }
}

Task<void> PreviewRenderer::prepare(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                                    DevelopSettings settings, std::stop_token stop)
{
    auto make = [outcome, settings, prepare = environment_.prepare, stop] {
        RenderPins read(RenderPins::Scope::ownScope);
        prepare(*outcome, settings, stop);
        return stop.stop_requested() ? std::vector<PictureCache::Pin>() : read.take();
    };
    std::vector<PictureCache::Pin> read;
    try {
        read = co_await offload(*environment_.pool, WorkPriority::utility, std::move(make));
    } catch (const std::exception& failure) {
        diagnose("previews", std::string("preparing a preview failed: ") + failure.what());
    }
    Record& record = records_[item->id];
    setState(record, record.wanted ? State::waiting : State::idle);
    if (item->result() == outcome) keepRead(*item, record, outcome, std::move(read));
    // A light moved meanwhile waited behind the preparing, which it now finds made.
    if (record.wanted && holds(item) && record.wanted->priority == WorkPriority::userInitiated) start(item);
    pump();
}

void PreviewRenderer::keepRead(const BatchItem& item, Record& record, const std::shared_ptr<const JobOutcome>& outcome,
                               std::vector<PictureCache::Pin> read)
{
    record.kept.reset();
    if (read.empty() || !onScreen_.contains(item.id)) return;
    Kept kept{outcome, std::move(read), 0};
    for (const auto& pin : kept.read) kept.bytes += pin.bitmap().byteCount();
    // Half the cache's bound at most, so that the pictures near the view still find room.
    if (keptBytes() + kept.bytes > PictureCache::shared().byteLimit() / 2) {
        record.preparedThisRest = true;
        return;
    }
    record.kept = std::move(kept);
}

size_t PreviewRenderer::keptBytes() const
{
    size_t bytes = 0;
    for (const auto& [id, record] : records_)
        if (record.kept) bytes += record.kept->bytes;
    return bytes;
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
        Record& record = records_.at(item->id);
        record.stop.request_stop();
        if (!std::exchange(record.remaking, false)) ask(item, WorkPriority::utility);
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

bool PreviewRenderer::rendersOnScreen() const
{
    return std::any_of(records_.begin(), records_.end(),
                       [this](const auto& entry) { return entry.second.running() && onScreen_.contains(entry.first); });
}

Task<void> PreviewRenderer::render(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                                   DevelopSettings settings, WorkPriority priority, std::stop_token stop)
{
    // The preview is held by the shared picture cache and made again the same way once let go,
    // so the recipe keeps its own copy of the result and of the settings, grain included. Its copy
    // for the tiles is made here too, on the same thread, so that both reach the item together.
    auto make = [outcome, settings, render = environment_.render, stop, box = tileBox_] {
        Made made;
        RenderPins read(RenderPins::Scope::ownScope);
        const auto picture = render(*outcome, settings, stop);
        made.read = read.take();
        made.stopped = stop.stop_requested();
        if (!picture || made.stopped) return made;
        PictureRecipe again{picture->width(), picture->height(),
                            [outcome, settings, render] { return render(*outcome, settings, {}); }};
        made.preview = PictureHandle::seeded(*picture, std::move(again));
        made.copy = developedCopy(*picture, box);
        return made;
    };
    Made made;
    try {
        made = co_await offload(*environment_.pool, priority, std::move(make));
    } catch (const std::exception& failure) {
        // Out of memory or a codec's own failure: the item shows no preview until the next request.
        diagnose("previews", std::string("rendering a preview failed: ") + failure.what());
    }
    finished(item, outcome, settings, std::move(made));
}

void PreviewRenderer::finished(const std::shared_ptr<BatchItem>& item, const std::shared_ptr<const JobOutcome>& outcome,
                               const DevelopSettings& settings, Made made)
{
    Record& record = records_[item->id];
    setState(record, record.wanted ? State::waiting : State::idle);
    record.remaking = false;
    record.renderingAt.reset();
    // A result cleared or replaced while it rendered: its picture is no longer the item's, and the
    // thumbnail must not be written from it. A render stopped for newer settings leaves the
    // preview as it was.
    const bool current = item->result() == outcome && !made.stopped;
    if (current) {
        if (made.preview) {
            show(*item, record, std::move(*made.preview), std::move(made.copy), {outcome, settings});
        } else {
            item->setPreviewImage(std::nullopt);
            record.preview.reset();
        }
        keepRead(*item, record, outcome, std::move(made.read));
    }
    if (!holds(item)) {
        // The item left the open batch while it rendered: nothing of it is written, rendered again
        // or kept.
        dropWanted(record);
        return pump();
    }
    // A preview made again for the result and settings last announced has nothing new to write.
    const MadeAt madeAt{outcome, settings};
    if (current && !record.wanted && item->previewImage() && record.announced != madeAt) {
        record.announced = madeAt;
        newestShown(item);
    }
    // The photographer's newest settings, and those of an item on screen, follow at once.
    if (record.wanted && record.wanted->priority == WorkPriority::userInitiated) start(item);
    pump();
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
            found != records_.end() && found->second.state == State::rendering &&
            found->second.renderingAt != MadeAt{item->result(), settingsFor(*item)})
            found->second.stop.request_stop();
    for (const auto& item : items())
        ask(item, distanceFromView(*item) == 0 ? WorkPriority::userInitiated : WorkPriority::utility);
    pump();
}

int PreviewRenderer::distanceFromView(const BatchItem& item) const
{
    if (onScreen_.empty() || onScreen_.contains(item.id)) return 0;
    return near_.contains(item.id) ? 1 : 2;
}

} // namespace oxel
