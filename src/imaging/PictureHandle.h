#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"
#include "imaging/PictureCache.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// How to make a picture again, and at what size it comes out.
struct PictureRecipe {
    int64_t width = 0;
    int64_t height = 0;
    PictureCache::Make make;   // must be safe to call from any thread, and give the same pixels each time
    std::string failureNote{}; // said once, under [pictures], when a lazy image cannot make the picture
};

// A small handle to a picture that can be made again: the recipe and the key under which the
// shared cache keeps the result. Asking for the bitmap gives the cached one or makes it again on
// the calling thread, so holders of handles hold no pixels. Copies share one picture; a handle of
// its own key lets the cache forget the picture when its last copy goes.
class PictureHandle {
public:
    PictureHandle() = default;
    // A picture known by its recipe alone, under a key of its own.
    explicit PictureHandle(PictureRecipe recipe);
    // A picture that several handles may name (a file's content at a stamp): the key says what it is.
    static PictureHandle named(std::string key, PictureRecipe recipe);
    // A picture just made: kept in the cache now and made again by the recipe once let go.
    static PictureHandle seeded(const Bitmap& made, PictureRecipe recipe);
    // Makes the picture now, its size whatever `make` gives, and keeps it as `seeded` does;
    // nothing when making fails.
    static std::optional<PictureHandle> madeNow(PictureCache::Make make, std::string failureNote = {});

    bool isNull() const { return !recipe_; }
    int64_t width() const;
    int64_t height() const;
    const std::string& key() const;

    // The picture, pinned while the pin lives; an empty pin when it cannot be made.
    PictureCache::Pin pin() const;
    std::optional<Bitmap> bitmap() const;
    // The picture pinned when the shared cache holds it now, else an empty pin: never makes it.
    PictureCache::Pin heldPin() const;

    // A lazy picture, extent (0, 0, width, height), that reads through the cache and pins the
    // picture for the renders that read it. Where the picture cannot be made it renders black.
    Image image() const;

    bool operator==(const PictureHandle& other) const { return recipe_ == other.recipe_; }

    struct Shared;

private:
    std::shared_ptr<const Shared> recipe_;
};

} // namespace oxel
