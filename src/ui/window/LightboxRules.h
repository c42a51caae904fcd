#pragma once

#include "library/BatchItem.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// What the lightbox shows for one photograph, worked out from the item alone so that the rules
// can be checked without building a widget.
namespace lightbox {

enum class Picture { none, originalPreview, developedPreview, thumbnail };
// The original's preview while comparing, else the developed one; the thumbnail when that is
// missing; nothing without a thumbnail.
Picture chosenPicture(const BatchItem& item, bool comparing);
std::optional<PictureHandle> pictureHandle(const BatchItem& item, Picture picture);

// The original's pixel facts once loaded ("6000×4000 · 8-bit · sRGB"); the reason an original is
// offline or changed; else nothing.
std::string infoLine(const BatchItem& item);
std::string hint(const BatchItem& item, bool comparing);

// The light track may be moved when the result's detail transfer was planned and departs from the
// original no further than its limit (equal counts as within).
bool lightTrackEnabled(const BatchItem& item);
// The colour row shows when suggested grades are on, some item of the batch carries looks and this
// item's result does too.
bool colourRowShown(bool suggestedGradeEnabled, const std::vector<std::shared_ptr<BatchItem>>& items,
                    const BatchItem& item);

inline constexpr const char* colourOnlyLight = "none · colour only, graded on this computer";

} // namespace lightbox
} // namespace oxel
