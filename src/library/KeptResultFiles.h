#pragma once

#include "library/ImageRecord.h"
#include "library/KeptAnalysis.h"
#include "library/KeptPicture.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace oxel {

// What rebuilding a delivered result reads from its image's folder, read and decoded as the
// rebuild reads it: the render, decoded whole, and the analysis. Reopening a batch rebuilds from
// these, and the start counts a delivery as stored only when they read, so that the two never
// disagree about what the library keeps.
struct KeptResultFiles {
    std::filesystem::path renderFile;
    KeptPicture render;
    KeptAnalysis analysis;

    // Nothing when the folder is a link, the record names no render of its own, or the render or
    // the analysis is missing, damaged or not a plain file. The backend relights the picture the
    // original (`originalWidth` x `originalHeight` pixels) was sent as: a render more than twice
    // that size is refused before it is decoded. Runs on any thread; never throws.
    static std::optional<KeptResultFiles> read(const ImageRecord& record, const std::filesystem::path& imageFolder,
                                               int64_t originalWidth, int64_t originalHeight);

    // The long side of the picture an original of that pixel size is sent as.
    static int64_t sentLongSide(int64_t originalWidth, int64_t originalHeight);
};

} // namespace oxel
