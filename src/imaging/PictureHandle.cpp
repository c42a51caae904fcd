#include "imaging/PictureHandle.h"

#include "imaging/BitmapNode.h"
#include "imaging/RenderStop.h"
#include "platform/Diagnostics.h"

#include <atomic>

namespace oxel {

struct PictureHandle::Shared {
    std::string key;
    PictureRecipe recipe;
    bool ownKey = false;
    mutable std::atomic<bool> warned{false};

    ~Shared()
    {
        if (ownKey) PictureCache::shared().forget(key);
    }
};

namespace {

std::shared_ptr<const PictureHandle::Shared> sharedOf(std::string key, PictureRecipe recipe, bool ownKey)
{
    auto shared = std::make_shared<PictureHandle::Shared>();
    shared->key = std::move(key);
    shared->recipe = std::move(recipe);
    shared->ownKey = ownKey;
    return shared;
}

std::string uniqueKey()
{
    static std::atomic<uint64_t> next{0};
    return "picture #" + std::to_string(++next);
}

// Reads the handle's picture from the cache, tile by tile.
class HandleNode final : public ImageNode {
public:
    explicit HandleNode(PictureHandle handle) : handle_(std::move(handle)) {}

    Rect extent() const override { return Rect::ofSize(double(handle_.width()), double(handle_.height())); }

    void prepare() const override
    {
        if (!RenderStop::requested()) RenderPins::hold(handle_.pin());
    }

    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        const PictureCache::Pin pinned = handle_.pin();
        if (!pinned || pinned.bitmap().width() != handle_.width() || pinned.bitmap().height() != handle_.height()) {
            clearOutside(Rect(), region, out, stride);
            return;
        }
        BitmapNode(pinned.bitmap()).render(region, out, stride);
    }

private:
    PictureHandle handle_;
};

} // namespace

PictureHandle::PictureHandle(PictureRecipe recipe) : recipe_(sharedOf(uniqueKey(), std::move(recipe), true))
{}

PictureHandle PictureHandle::named(std::string key, PictureRecipe recipe)
{
    PictureHandle handle;
    handle.recipe_ = sharedOf(std::move(key), std::move(recipe), false);
    return handle;
}

PictureHandle PictureHandle::seeded(const Bitmap& made, PictureRecipe recipe)
{
    PictureHandle handle(std::move(recipe));
    PictureCache::shared().pin(handle.key(), [&] { return std::optional(made); });
    return handle;
}

std::optional<PictureHandle> PictureHandle::madeNow(PictureCache::Make make, std::string failureNote)
{
    const auto made = make();
    if (!made) return std::nullopt;
    return seeded(*made, {made->width(), made->height(), std::move(make), std::move(failureNote)});
}

int64_t PictureHandle::width() const
{
    return recipe_ ? recipe_->recipe.width : 0;
}

int64_t PictureHandle::height() const
{
    return recipe_ ? recipe_->recipe.height : 0;
}

const std::string& PictureHandle::key() const
{
    static const std::string none;
    return recipe_ ? recipe_->key : none;
}

PictureCache::Pin PictureHandle::pin() const
{
    if (!recipe_) return {};
    auto pinned = PictureCache::shared().pin(recipe_->key, recipe_->recipe.make);
    if (!pinned && !recipe_->recipe.failureNote.empty() && !recipe_->warned.exchange(true))
        diagnose("pictures", recipe_->recipe.failureNote);
    return pinned;
}

std::optional<Bitmap> PictureHandle::bitmap() const
{
    const PictureCache::Pin pinned = pin();
    if (!pinned) return std::nullopt;
    return pinned.bitmap();
}

PictureCache::Pin PictureHandle::heldPin() const
{
    if (!recipe_) return {};
    return PictureCache::shared().held(recipe_->key);
}

Image PictureHandle::image() const
{
    if (!recipe_) return {};
    return Image(std::make_shared<HandleNode>(*this));
}

} // namespace oxel
