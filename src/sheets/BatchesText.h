#pragma once

#include "library/BatchSummary.h"
#include "platform/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace oxel {

// Folder sizes worked out so far, by batch.
using BatchSizes = std::map<Uuid, int64_t>;

// "2 batches · 3.4 mb · in ~/.local/share/oxel pro/Library": the total only once every listed
// batch has its size; the library folder with the home folder written "~".
std::string batchCountLine(size_t batches, const BatchSizes& sizes, const std::filesystem::path& library,
                           const std::filesystem::path& home);
// "3 to 5 dec 2026 · 12 images · 3.4 mb": the date, the image count and, once known, the size.
std::string batchDetailLine(const BatchSummary& summary, const BatchSizes& sizes);
// The path with a leading home folder written "~".
std::string homeWritten(const std::filesystem::path& path, const std::filesystem::path& home);

} // namespace oxel
