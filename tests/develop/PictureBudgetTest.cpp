#include "develop/PictureBudget.h"

#include "imaging/PictureCache.h"
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace oxel {
namespace {

TEST(PictureBudget, TheSettingBoundsTheSharedCacheAndNonsenseKeepsTheDefault)
{
    const auto file =
        std::filesystem::temp_directory_path() / ("picture-budget-" + std::to_string(::getpid()) + ".json");
    std::filesystem::remove(file);
    SettingsStore settings(file);
    EXPECT_EQ(pictureBudgetBytes(settings), size_t(1536) << 20);
    for (const nlohmann::json& nonsense :
         {nlohmann::json(0), nlohmann::json(-5), nlohmann::json("512"), nlohmann::json(int64_t(1) << 40)}) {
        settings.setValue("pictureMemoryMegabytes", nonsense);
        EXPECT_EQ(pictureBudgetBytes(settings), PictureCache::defaultByteLimit) << nonsense;
    }
    settings.set("pictureMemoryMegabytes", 512);
    const size_t before = PictureCache::shared().byteLimit();
    applyPictureBudget(settings);
    EXPECT_EQ(PictureCache::shared().byteLimit(), size_t(512) << 20);
    PictureCache::shared().setByteLimit(before);
    std::filesystem::remove(file);
}

} // namespace
} // namespace oxel
