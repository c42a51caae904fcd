#pragma once

#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <utility>

namespace oxel {

// The size in pixels of the picture `renderDeveloped` makes of this result (its preview).
std::pair<int64_t, int64_t> developedSize(const DevelopInput& outcome);

// The finished picture at width x height, a reduction of the preview's size, as packed 8-bit RGB
// tagged with the document's colour space. Nothing once `stop` is asked to stop.
std::optional<Bitmap> renderTilePicture(const DevelopInput& outcome, const DevelopSettings& settings, int64_t width,
                                        int64_t height, std::stop_token stop = {});

} // namespace oxel
