#include "imaging/PictureCache.h"

#include "platform/Diagnostics.h"

#include <tbb/task_arena.h>

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <utility>
#include <vector>

namespace oxel {

struct PictureCache::Pin::Entry {
    std::string key;
    bool done = false;
    std::optional<Bitmap> bitmap;
    size_t bytes = 0;
    uint64_t lastUse = 0;
    int pins = 0;
    bool forgotten = false; // let go as soon as nothing pins it
    std::condition_variable ready;
};

PictureCache& PictureCache::shared()
{
    // Never destroyed: handles kept by other statics let their pictures go while the process exits.
    static PictureCache* const cache = new PictureCache(defaultByteLimit);
    return *cache;
}

PictureCache::Pin::Pin(Pin&& other) noexcept : cache_(other.cache_), entry_(std::move(other.entry_))
{
    other.cache_ = nullptr;
}

PictureCache::Pin& PictureCache::Pin::operator=(Pin&& other) noexcept
{
    if (this != &other) {
        release();
        cache_ = other.cache_;
        entry_ = std::move(other.entry_);
        other.cache_ = nullptr;
    }
    return *this;
}

PictureCache::Pin::~Pin()
{
    release();
}

void PictureCache::Pin::letGoFirst()
{
    release(Use::first);
}

void PictureCache::Pin::release(Use lastUse)
{
    if (cache_ && entry_) cache_->unpin(entry_, lastUse);
    cache_ = nullptr;
    entry_.reset();
}

const Bitmap& PictureCache::Pin::bitmap() const
{
    return *entry_->bitmap;
}

// Waits for or makes the entry of `key` and returns it pinned once, or nothing when making fails.
std::shared_ptr<PictureCache::Entry> PictureCache::settle(const std::string& key, const Make& make)
{
    std::unique_lock lock(mutex_);
    if (auto found = entries_.find(key); found != entries_.end()) {
        const std::shared_ptr<Entry> entry = found->second;
        ++entry->pins;
        entry->ready.wait(lock, [&] { return entry->done; });
        if (entry->bitmap) {
            entry->lastUse = ++clock_;
            ++statistics_.hits;
            return entry;
        }
        --entry->pins;
        // The making that was waited for failed; this caller tries for itself.
        lock.unlock();
        return settle(key, make);
    }
    auto entry = std::make_shared<Entry>();
    entry->key = key;
    entry->pins = 1;
    entries_[key] = entry;
    lock.unlock();

    std::optional<Bitmap> made;
    try {
        const RenderPins ownPins(RenderPins::Scope::ownScope);
        // Isolated: while this thread waits for the work of its own making it must not pick up a
        // tile of another render that waits for this very picture.
        tbb::this_task_arena::isolate([&] { made = make(); });
    } catch (const std::exception& error) {
        // Usually memory for a very large picture. The entry must still be settled, or every
        // later request for this key would wait for it for ever.
        diagnose("pictures", std::string("making a picture failed: ") + error.what());
    }

    lock.lock();
    entry->done = true;
    entry->bitmap = made;
    entry->lastUse = ++clock_;
    if (made) {
        entry->bytes = made->byteCount();
        bytesHeld_ += entry->bytes;
        ++statistics_.made;
        statistics_.bytesMade += entry->bytes;
    } else {
        entry->pins = 0;
        if (auto it = entries_.find(key); it != entries_.end() && it->second == entry) entries_.erase(it);
    }
    entry->ready.notify_all();
    if (!made) return nullptr;
    evictOverLimit();
    return entry;
}

PictureCache::Pin PictureCache::pin(const std::string& key, const Make& make)
{
    auto entry = settle(key, make);
    if (!entry) return {};
    return Pin(this, std::move(entry));
}

PictureCache::Pin PictureCache::held(const std::string& key)
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end() || !found->second->done || !found->second->bitmap) return {};
    const std::shared_ptr<Entry>& entry = found->second;
    ++entry->pins;
    entry->lastUse = ++clock_;
    ++statistics_.hits;
    return Pin(this, entry);
}

std::optional<Bitmap> PictureCache::bitmap(const std::string& key, const Make& make)
{
    const Pin pinned = pin(key, make);
    if (!pinned) return std::nullopt;
    return pinned.bitmap();
}

void PictureCache::unpin(const std::shared_ptr<Entry>& entry, Use lastUse)
{
    std::lock_guard lock(mutex_);
    if (--entry->pins > 0) return;
    if (entry->forgotten) {
        if (auto it = entries_.find(entry->key); it != entries_.end() && it->second == entry) erase(it);
        return;
    }
    // Held until now counts as used now: a picture a tile kept in view stays longer than those a
    // pass read once while the tile held it.
    entry->lastUse = lastUse == Use::now ? ++clock_ : ++readOnceClock_;
    evictOverLimit();
}

void PictureCache::erase(std::map<std::string, std::shared_ptr<Entry>>::iterator entry)
{
    bytesHeld_ -= entry->second->bytes;
    entries_.erase(entry);
}

void PictureCache::evictOverLimit()
{
    while (bytesHeld_ > byteLimit_) {
        auto oldest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            const Entry& entry = *it->second;
            // The clock's own value belongs to the picture used last.
            if (!entry.done || entry.pins > 0 || entry.lastUse == clock_) continue;
            if (oldest == entries_.end() || entry.lastUse < oldest->second->lastUse) oldest = it;
        }
        if (oldest == entries_.end()) return;
        erase(oldest);
        ++statistics_.evicted;
    }
}

bool PictureCache::offer(const std::string& key, const Bitmap& bitmap)
{
    std::lock_guard lock(mutex_);
    const size_t bytes = bitmap.byteCount();
    if (entries_.contains(key) || bytes > byteLimit_ || bytesHeld_ > byteLimit_ - bytes) return false;
    auto entry = std::make_shared<Entry>();
    entry->key = key;
    entry->done = true;
    entry->bitmap = bitmap;
    entry->bytes = bytes;
    entry->lastUse = ++clock_;
    entries_[key] = std::move(entry);
    bytesHeld_ += bytes;
    return true;
}

void PictureCache::forget(const std::string& key)
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) return;
    if (!found->second->done || found->second->pins > 0)
        found->second->forgotten = true;
    else
        erase(found);
}

PictureCache::Statistics PictureCache::statistics() const
{
    std::lock_guard lock(mutex_);
    return statistics_;
}

bool PictureCache::contains(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    return found != entries_.end() && found->second->done;
}

size_t PictureCache::bytesHeld() const
{
    std::lock_guard lock(mutex_);
    return bytesHeld_;
}

size_t PictureCache::byteLimit() const
{
    std::lock_guard lock(mutex_);
    return byteLimit_;
}

void PictureCache::setByteLimit(size_t byteLimit)
{
    std::lock_guard lock(mutex_);
    byteLimit_ = byteLimit;
    evictOverLimit();
}

void PictureCache::clear()
{
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second->done && it->second->pins == 0) {
            erase(it++);
        } else {
            ++it;
        }
    }
}

// ---- Render pins ---------------------------------------------------------------------------------

struct RenderPins::Held {
    std::vector<PictureCache::Pin> pins;
    // What the makings inside this scope read, held for it when it reads once.
    std::vector<PictureCache::Pin> madeFrom;
    bool readOnce = false;
};

thread_local RenderPins::Held* RenderPins::open_ = nullptr;

RenderPins::RenderPins(Scope scope, Reading reading) : previous_(open_)
{
    if (scope == Scope::ownScope || !open_) {
        held_ = std::make_unique<Held>();
        held_->readOnce = reading == Reading::once || (previous_ && previous_->readOnce);
        open_ = held_.get();
    }
}

RenderPins::~RenderPins()
{
    if (!held_) return;
    if (held_->readOnce) {
        std::vector<PictureCache::Pin>& kept = held_->madeFrom;
        std::move(held_->pins.begin(), held_->pins.end(), std::back_inserter(kept));
        if (previous_ && previous_->readOnce)
            std::move(kept.begin(), kept.end(), std::back_inserter(previous_->madeFrom));
        else
            for (auto& pin : kept) pin.letGoFirst();
    }
    held_.reset();
    open_ = previous_;
}

void RenderPins::hold(PictureCache::Pin pin)
{
    if (!open_ || !pin) return;
    // A picture that several steps of a recipe read is prepared by each of them: one pin holds it.
    const auto holdsIt = [&](const PictureCache::Pin& held) { return &held.bitmap() == &pin.bitmap(); };
    if (std::none_of(open_->pins.begin(), open_->pins.end(), holdsIt)) open_->pins.push_back(std::move(pin));
}

std::vector<PictureCache::Pin> RenderPins::take()
{
    if (!held_) return {};
    return std::exchange(held_->pins, {});
}

} // namespace oxel
