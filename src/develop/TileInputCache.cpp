#include "develop/TileInputCache.h"

#include <algorithm>

namespace oxel {

std::shared_ptr<TileInputCache::Slot> TileInputCache::slot(int64_t width, int64_t height)
{
    std::lock_guard guard(mutex_);
    auto found = std::find_if(slots_.begin(), slots_.end(),
                              [&](const auto& slot) { return slot->width == width && slot->height == height; });
    if (found == slots_.end()) {
        auto made = std::make_shared<Slot>();
        made->width = width;
        made->height = height;
        slots_.insert(slots_.begin(), std::move(made));
        if (slots_.size() > keptSizes) slots_.pop_back();
        return slots_.front();
    }
    std::rotate(slots_.begin(), found, found + 1);
    return slots_.front();
}

std::shared_ptr<const TileInputs> TileInputCache::at(int64_t width, int64_t height, const Make& make)
{
    const auto held = slot(width, height);
    std::lock_guard making(held->making);
    if (!held->made) held->made = make();
    return held->made;
}

} // namespace oxel
