#pragma once

#include <cstddef>

namespace oxel {

class SettingsStore;

// How many bytes the shared picture cache may hold: the "pictureMemoryMegabytes" setting, or
// 1536 MB when it is absent or not a positive whole number.
size_t pictureBudgetBytes(const SettingsStore& settings);

// Bounds the shared picture cache by the setting; the application does it once at launch.
void applyPictureBudget(const SettingsStore& settings);

} // namespace oxel
