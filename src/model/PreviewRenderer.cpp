#include "model/PreviewRenderer.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "develop/DevelopOrder.h"
#include "model/DevelopedThumbnail.h"
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

bool PreviewRenderer::holds(const std::shared_ptr<BatchItem>& item) const
{
    const Items& held = items();
    return std::find(held.begin(), held.end(), item) != held.end();
}

void PreviewRenderer::request(const std::shared_ptr<BatchItem>& item)
{
    if (ask(item, WorkPriority::userInitiated)) start(item);
}

void PreviewRenderer::remake(const std::shared_ptr<BatchItem>& item)
{
    if (!item || !item->previewImage() || wanted_.contains(item->id)) return;
    // A preparing makes no preview: the tile's request waits behind it.
    if (inFlight_.contains(item->id) && !preparing_.contains(item->id)) return;
    if (item->previewImage()->heldPin() || distanceFromView(*item) > 0) return;
    if (!rest_.remade.insert(item->id).second) return;
    if (!ask(item, WorkPriority::userInitiated)) return;
    remaking_.insert(item->id);
    pump();
}

void PreviewRenderer::keepStandIn(const std::shared_ptr<BatchItem>& item)
{
    if (item && item->previewImage() && !item->developedThumbnail())
        spawn(keepDevelopedCopy(item, *item->previewImage()));
}

bool PreviewRenderer::ask(const std::shared_ptr<BatchItem>& item, WorkPriority priority)
{
    if (!item || !item->result()) return false;
    // Newer settings replace waiting ones; the more urgent of their priorities stays.
    if (const auto waiting = wanted_.find(item->id); waiting != wanted_.end())
        priority = std::min(priority, waiting->second.priority);
    wanted_[item->id] = {settingsFor(*item), priority};
    remaking_.erase(item->id);
    return true;
}

void PreviewRenderer::setInView(std::set<Uuid> onScreen, std::set<Uuid> near)
{
    if (onScreen != onScreen_) {
        // What was kept or prepared for tiles that left the view is theirs no more; the cache keeps
        // it as it keeps any other picture.
        std::erase_if(kept_, [&](const auto& kept) { return !onScreen.contains(kept.first); });
        for (const Uuid& id : preparing_)
            if (!onScreen.contains(id)) stops_.at(id).request_stop();
        // A preview asked for again only because its tile was painted is not made once the tile
        // left the view before its turn, however many moves later: the developed copy stands in
        // until it is back. One already rendering keeps its mark, so that stopping it asks nothing again.
        for (auto id = remaking_.begin(); id != remaking_.end();) {
            if (onScreen.contains(*id)) {
                ++id;
                continue;
            }
            wanted_.erase(*id);
            id = inFlight_.contains(*id) ? std::next(id) : remaking_.erase(id);
        }
        rest_.reset();
        rest_.waiting.emplace();
        spawn(restView(rest_.waiting->token()));
    }
    onScreen_ = std::move(onScreen);
    near_ = std::move(near);
    pump();
}

void PreviewRenderer::dropWanted()
{
    wanted_.clear();
    onScreen_.clear();
    near_.clear();
    kept_.clear();
    remaking_.clear();
    shown_.clear();
    rest_.reset();
}

void PreviewRenderer::ViewRest::reset()
{
    prepared.clear();
    remade.clear();
    rested = false;
    if (waiting) waiting->cancel();
    waiting.reset();
}

Task<void> PreviewRenderer::restView(CancelToken cancel)
{
    co_await sleepFor(viewRestDelay, cancel);
    if (cancel.cancelled()) co_return;
    rest_.rested = true;
    pump();
}

void PreviewRenderer::start(const std::shared_ptr<BatchItem>& item)
{
    if (inFlight_.contains(item->id) || !item->result()) return;
    auto wanted = wanted_.find(item->id);
    if (wanted == wanted_.end()) return;
    const Wanted taken = wanted->second;
    wanted_.erase(wanted);
    inFlight_.insert(item->id);
    stops_[item->id] = std::stop_source();
    const auto priority = distanceFromView(*item) == 0 ? WorkPriority::userInitiated : taken.priority;
    // Taken now: the task may start later, when the item may hold another result.
    spawn(render(item, item->result(), taken.settings, priority));
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
        if (inFlight_.size() >= turns) {
            if (onScreen) stopRendersOffScreen();
            return;
        }
        start(next);
    }
    prepareInView();
}

void PreviewRenderer::prepareInView()
{
    if (!rest_.rested || !environment_.prepare) return;
    // Behind the renders of tiles in view, ahead of those out of sight, and leaving one thread to
    // what the tiles ask for meanwhile.
    const size_t turns = std::max(1u, environment_.pool->threadCount() - 1);
    if (keptBytes() >= PictureCache::shared().byteLimit() / 2) return;
    for (const auto& item : items()) {
        if (inFlight_.size() >= turns) return;
        const auto& result = item->result();
        if (!result || !onScreen_.contains(item->id) || inFlight_.contains(item->id) || wanted_.contains(item->id) ||
            rest_.prepared.contains(item->id))
            continue;
        if (const auto kept = kept_.find(item->id); kept != kept_.end() && kept->second.outcome == result) continue;
        // Once a rest: what did not fit beside the others is not tried again until the view moves.
        rest_.prepared.insert(item->id);
        inFlight_.insert(item->id);
        preparing_.insert(item->id);
        stops_[item->id] = std::stop_source();
        spawn(prepare(item, result, settingsFor(*item)));
    }
}

Task<void> PreviewRenderer::prepare(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                                    DevelopSettings settings)
{
    auto make = [outcome, settings, prepare = environment_.prepare, stop = stops_.at(item->id).get_token()] {
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
    inFlight_.erase(item->id);
    stops_.erase(item->id);
    preparing_.erase(item->id);
    if (item->result() == outcome) keepRead(*item, outcome, std::move(read));
    // A light moved meanwhile waited behind the preparing, which it now finds made.
    if (const auto waiting = wanted_.find(item->id);
        waiting != wanted_.end() && holds(item) && waiting->second.priority == WorkPriority::userInitiated)
        start(item);
    pump();
}

void PreviewRenderer::keepRead(const BatchItem& item, const std::shared_ptr<const JobOutcome>& outcome,
                               std::vector<PictureCache::Pin> read)
{
    kept_.erase(item.id);
    if (read.empty() || !onScreen_.contains(item.id)) return;
    Kept kept{outcome, std::move(read), 0};
    for (const auto& pin : kept.read) kept.bytes += pin.bitmap().byteCount();
    // Half the cache's bound at most, so that the pictures near the view still find room.
    if (keptBytes() + kept.bytes > PictureCache::shared().byteLimit() / 2) {
        rest_.prepared.insert(item.id);
        return;
    }
    kept_[item.id] = std::move(kept);
}

size_t PreviewRenderer::keptBytes() const
{
    size_t bytes = 0;
    for (const auto& [id, kept] : kept_) bytes += kept.bytes;
    return bytes;
}

void PreviewRenderer::stopRendersOffScreen()
{
    // The view moved onto tiles that wait: renders of tiles out of sight give up their turns, the
    // furthest first, and wait again behind them.
    size_t waitingOnScreen = 0;
    for (const auto& [id, wanted] : wanted_)
        if (onScreen_.contains(id) && !inFlight_.contains(id)) ++waitingOnScreen;
    std::vector<std::shared_ptr<BatchItem>> offScreen;
    for (const auto& item : items())
        if (inFlight_.contains(item->id) && !stops_.at(item->id).stop_requested() && distanceFromView(*item) > 0)
            offScreen.push_back(item);
    std::stable_sort(offScreen.begin(), offScreen.end(),
                     [this](const auto& a, const auto& b) { return distanceFromView(*a) > distanceFromView(*b); });
    offScreen.resize(std::min(waitingOnScreen, offScreen.size()));
    for (const auto& item : offScreen) {
        stops_.at(item->id).request_stop();
        if (!remaking_.erase(item->id)) ask(item, WorkPriority::utility);
    }
}

std::shared_ptr<BatchItem> PreviewRenderer::nextWaiting()
{
    const Items& held = items();
    std::map<Uuid, size_t> place;
    for (size_t index = 0; index < held.size(); ++index) place.emplace(held[index]->id, index);
    std::shared_ptr<BatchItem> best;
    std::pair<int, size_t> bestRank;
    for (auto waiting = wanted_.begin(); waiting != wanted_.end();) {
        const auto found = place.find(waiting->first);
        // Gone from the batch, or its result with it, while it waited: nothing is left to render.
        if (found == place.end() || !held[found->second]->result()) {
            waiting = wanted_.erase(waiting);
            continue;
        }
        const auto& item = held[found->second];
        const std::pair rank{distanceFromView(*item), found->second};
        if (!inFlight_.contains(item->id) && (!best || rank < bestRank)) {
            best = item;
            bestRank = rank;
        }
        ++waiting;
    }
    return best;
}

bool PreviewRenderer::rendersOnScreen() const
{
    return std::any_of(inFlight_.begin(), inFlight_.end(), [this](const Uuid& id) { return onScreen_.contains(id); });
}

Task<void> PreviewRenderer::render(std::shared_ptr<BatchItem> item, std::shared_ptr<const JobOutcome> outcome,
                                   DevelopSettings settings, WorkPriority priority)
{
    // The preview is held by the shared picture cache and made again the same way once let go,
    // so the recipe keeps its own copy of the result and of the settings, grain included.
    auto make = [outcome, settings, render = environment_.render, stop = stops_.at(item->id).get_token()] {
        Made made;
        RenderPins read(RenderPins::Scope::ownScope);
        const auto picture = render(*outcome, settings, stop);
        made.read = read.take();
        made.stopped = stop.stop_requested();
        if (!picture || made.stopped) return made;
        PictureRecipe again{picture->width(), picture->height(),
                            [outcome, settings, render] { return render(*outcome, settings, {}); }};
        made.preview = PictureHandle::seeded(*picture, std::move(again));
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
    inFlight_.erase(item->id);
    stops_.erase(item->id);
    remaking_.erase(item->id);
    // A result cleared or replaced while it rendered: its picture is no longer the item's, and the
    // thumbnail must not be written from it. A render stopped for newer settings leaves the
    // preview as it was.
    const bool current = item->result() == outcome && !made.stopped;
    if (current) {
        item->setPreviewImage(std::move(made.preview));
        keepRead(*item, outcome, std::move(made.read));
    }
    if (!holds(item)) {
        // The item left the open batch while it rendered: nothing of it is written or rendered again.
        wanted_.erase(item->id);
        return pump();
    }
    const auto waiting = wanted_.find(item->id);
    if (current && waiting == wanted_.end() && shownAnew(*item, outcome, settings)) {
        newestShown(item);
        if (item->previewImage()) spawn(keepDevelopedCopy(item, *item->previewImage()));
    }
    // The photographer's newest settings, and those of an item on screen, follow at once.
    if (waiting != wanted_.end() && waiting->second.priority == WorkPriority::userInitiated) start(item);
    pump();
}

bool PreviewRenderer::shownAnew(const BatchItem& item, const std::shared_ptr<const JobOutcome>& outcome,
                                const DevelopSettings& settings)
{
    const auto before = shown_.find(item.id);
    const bool same = before != shown_.end() && before->second.outcome == outcome &&
                      before->second.settings == settings && item.developedThumbnail();
    shown_[item.id] = {outcome, settings};
    return !same;
}

Task<void> PreviewRenderer::keepDevelopedCopy(std::shared_ptr<BatchItem> item, PictureHandle preview)
{
    // Held from now, so that the cache cannot let the preview go before the copy is made.
    auto held = std::make_shared<PictureCache::Pin>(preview.heldPin());
    if (!*held) co_return;
    // Made after the preview is shown, so a drag's pictures never wait for it.
    auto make = [held]() { return developedThumbnail(held->bitmap()); };
    auto copy = co_await offload(*environment_.pool, WorkPriority::utility, std::move(make));
    if (copy && item->previewImage() == preview) item->setDevelopedThumbnail(std::move(copy));
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
    for (auto& [id, stop] : stops_)
        if (!preparing_.contains(id)) stop.request_stop();
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
