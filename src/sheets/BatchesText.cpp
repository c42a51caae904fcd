#include "sheets/BatchesText.h"

#include "ondevice/CaptureSpanLabel.h"
#include "sheets/ByteCount.h"
#include "sheets/Plurals.h"

namespace oxel {

std::string homeWritten(const std::filesystem::path& path, const std::filesystem::path& home)
{
    const std::string whole = path.string();
    std::string prefix = home.string();
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    if (prefix.empty() || prefix == "/") return whole;
    if (whole == prefix) return "~";
    if (whole.size() > prefix.size() && whole.compare(0, prefix.size(), prefix) == 0 && whole[prefix.size()] == '/')
        // Appended rather than a literal plus a temporary string, which GCC 12 wrongly warns may overlap.
        return std::string("~").append(whole, prefix.size());
    return whole;
}

std::string batchCountLine(size_t batches, const BatchSizes& sizes, const std::filesystem::path& library,
                           const std::filesystem::path& home)
{
    std::string line = counted(int64_t(batches), "batch", "batches");
    if (sizes.size() == batches) {
        int64_t total = 0;
        for (const auto& [id, size] : sizes) total += size;
        line += " · " + fileSizeText(total);
    }
    return line + " · in " + homeWritten(library, home);
}

std::string batchDetailLine(const BatchSummary& summary, const BatchSizes& sizes)
{
    std::string line = captureSpanLabel(summary.record.captured, summary.record.createdAt) + " · " +
                       counted(int64_t(summary.record.images.size()), "image");
    // A copy shares its batch's id, so its size would be the batch's: it is said to be a copy instead.
    if (summary.copy) return line + " · a copy, in " + summary.folder.filename().string();
    if (auto size = sizes.find(summary.id()); size != sizes.end()) line += " · " + fileSizeText(size->second);
    return line;
}

} // namespace oxel
