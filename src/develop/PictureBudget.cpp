#include "develop/PictureBudget.h"

#include "imaging/PictureCache.h"
#include "platform/SettingsStore.h"

namespace oxel {

size_t pictureBudgetBytes(const SettingsStore& settings)
{
    // Beyond a terabyte the number is a typing slip, not a wish.
    constexpr int64_t largestMegabytes = int64_t(1) << 20;
    const auto megabytes = settings.intValue("pictureMemoryMegabytes");
    if (!megabytes || *megabytes < 1 || *megabytes > largestMegabytes) return PictureCache::defaultByteLimit;
    return size_t(*megabytes) << 20;
}

void applyPictureBudget(const SettingsStore& settings)
{
    PictureCache::shared().setByteLimit(pictureBudgetBytes(settings));
}

} // namespace oxel
