#pragma once

#include "imaging/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// Pictures that can be made again (decoded originals, decoded renders, materialised masks,
// thumbnails, previews), shared by the whole process and bounded by their bytes. A picture is
// asked for by its key with the recipe that makes it: the cache answers with the one it holds or
// makes it on the calling thread. Several threads asking for one key wait for one making. The
// least recently used pictures go first; a pinned picture, one being made and the newest one are
// never let go, so a picture larger than the whole bound still serves the render that asked for it.
class PictureCache {
public:
    using Make = std::function<std::optional<Bitmap>()>;

    // Enough for the pictures near the view of a large batch on a laptop.
    static constexpr size_t defaultByteLimit = size_t(1536) << 20;

    explicit PictureCache(size_t byteLimit) : byteLimit_(byteLimit) {}
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    static PictureCache& shared();

    // A picture held in place: the cache does not let it go while the pin lives. An empty pin
    // when the recipe failed.
    class Pin {
    public:
        Pin() = default;
        Pin(Pin&& other) noexcept;
        Pin& operator=(Pin&& other) noexcept;
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;
        ~Pin();

        explicit operator bool() const { return entry_ != nullptr; }
        const Bitmap& bitmap() const;
        // Lets the picture go as one read once: when nothing else pins it, it is the first the
        // cache lets go for room, before any picture used in the ordinary way.
        void letGoFirst();

    private:
        friend class PictureCache;
        struct Entry;
        enum class Use { now, first };
        Pin(PictureCache* cache, std::shared_ptr<Entry> entry) : cache_(cache), entry_(std::move(entry)) {}
        void release(Use lastUse = Use::now);

        PictureCache* cache_ = nullptr;
        std::shared_ptr<Entry> entry_;
    };

    // The picture under `key`, made with `make` when it is not held; failures are not kept.
    Pin pin(const std::string& key, const Make& make);
    // The picture under `key` when the cache holds it now, pinned; an empty pin otherwise. Makes
    // nothing and waits for no making.
    Pin held(const std::string& key);
    std::optional<Bitmap> bitmap(const std::string& key, const Make& make);

    // Keeps `bitmap` under `key` when nothing is held there and it fits within the bound beside
    // what is held, letting nothing go for it: for a picture that was made anyway on the way to
    // another and is likely to be asked for next. Whether it was kept.
    bool offer(const std::string& key, const Bitmap& bitmap);

    // Lets the picture under `key` go (when nothing pins it): for recipes that nobody can ask for
    // any more.
    void forget(const std::string& key);

    // What the cache has done since it was made: pictures made and their bytes, requests answered
    // from memory, pictures let go to stay within the bound.
    struct Statistics {
        uint64_t made = 0;
        uint64_t bytesMade = 0;
        uint64_t hits = 0;
        uint64_t evicted = 0;
    };
    Statistics statistics() const;
    bool contains(const std::string& key) const;

    size_t bytesHeld() const;
    size_t byteLimit() const;
    void setByteLimit(size_t byteLimit);
    // Lets every picture go that nothing pins and nobody is making.
    void clear();

private:
    using Entry = Pin::Entry;
    std::shared_ptr<Entry> settle(const std::string& key, const Make& make);
    using Use = Pin::Use;
    void unpin(const std::shared_ptr<Entry>& entry, Use lastUse = Use::now);
    void evictOverLimit();
    void erase(std::map<std::string, std::shared_ptr<Entry>>::iterator entry);

    mutable std::mutex mutex_;
    size_t byteLimit_;
    size_t bytesHeld_ = 0;
    // Ordinary uses count from far above the pictures let go first, which count from 0.
    uint64_t clock_ = uint64_t(1) << 48;
    uint64_t readOnceClock_ = 0;
    Statistics statistics_;
    std::map<std::string, std::shared_ptr<Entry>> entries_;
};

// Keeps the pictures that one render reads pinned until the render ends, so that its tiles never
// make a picture twice however small the bound. Made by whoever starts a render, on its thread;
// a scope opened inside another adds to it, unless it is a scope of its own (the cache opens one
// around each making, so the pictures a recipe reads are not held for its caller's render). Nodes
// that read cached pictures add their pin while the render prepares.
class RenderPins {
public:
    enum class Scope { joinOpen, ownScope };
    // How the scope lets its pictures go when it ends: as used then, or as read once, the first
    // the cache lets go for room. What the makings inside a scope that reads once read is held
    // until that scope ends, then let go as read once: what a small picture is made from is read
    // again by the next making of the same render, but rarely after it, and must not push out
    // what was made.
    enum class Reading { asUsed, once };
    explicit RenderPins(Scope scope = Scope::joinOpen, Reading reading = Reading::asUsed);
    ~RenderPins();
    RenderPins(const RenderPins&) = delete;
    RenderPins& operator=(const RenderPins&) = delete;

    // Keeps `pin` until the open scope of this thread ends, unless the scope holds its picture
    // already; without one, lets it go at once.
    static void hold(PictureCache::Pin pin);
    // The pins this scope holds so far, handed to the caller: for pictures worth keeping past
    // the render, such as those of a tile in view that the next light will read again.
    std::vector<PictureCache::Pin> take();

private:
    struct Held;
    static thread_local Held* open_;
    Held* previous_ = nullptr;
    std::unique_ptr<Held> held_;
};

} // namespace oxel
