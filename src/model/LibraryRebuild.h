#pragma once

#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"
#include "develop/transfer/TransferLimits.h"
#include "imaging/PictureHandle.h"
#include "library/ImageRecord.h"
#include "library/JobOutcome.h"
#include "library/KeptPicture.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// A result rebuilt from the library: the outcome as if just delivered, its first preview and the
// original's picture at the same framing. Both pictures are handles: made now, and made again
// from the outcome when the shared cache let them go.
struct RebuiltResult {
    std::shared_ptr<const JobOutcome> outcome;
    PictureHandle preview;
    PictureHandle original;
};

// A picture file of the library, decoded now to prove it whole, then held by the shared cache,
// which reads the file again when it let the pixels go: a thumbnail as the library last wrote it,
// a render only while it is the file first read. Nothing when the file is missing, a link,
// not a plain file or no whole picture. The picture was written at `nominalLongSide` at most: one
// whose header is more than twice as large is refused before it is decoded.
std::optional<PictureHandle> keptPicture(const std::filesystem::path& file, std::string failureNote,
                                         int64_t nominalLongSide, KeptDecode how = KeptDecode::reduced);

// Rebuilds a developed image's result from the files kept in its library folder (the render and
// "analysis.json") on the freshly loaded original. A colour-only result is graded again from its
// kept analysis the way it was first graded, so it develops to the same pixels. Nothing when a
// file is missing, damaged or not a plain file, or the original cannot be read; a render of
// another scene is kept with the planner's reason and no plan. Runs on any thread; never throws.
std::optional<RebuiltResult> renderFromLibrary(const ImageRecord& record, const SourceImage& source,
                                               const std::filesystem::path& imageFolder, const TransferLimits& limits,
                                               const DevelopSettings& settings);

} // namespace oxel
