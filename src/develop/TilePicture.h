#pragma once

#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"
#include "imaging/Bitmap.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

namespace oxel {

// A result's finished picture drawn small, as a tile shows it: made at the tile's size through the
// same develop order as the preview, not shrunk from it. The original is read through a reduced
// decode at that size, the render shrunk to it and the detail transfer planned there, with the
// preview plan's verdict; the grade, the skin hold and the grain follow at that size. What a size
// needs besides the settings is made the first time and kept with the result (its pictures in the
// shared picture cache), so that another light, colour or look renders only the last steps.

// How the transfer of a result built from `original` reads it reduced: through the original's
// reduced decodes, kept in the shared cache.
DetailTransfer::ReducedDecodes reducedDecodes(const SourceImage& original);

// The size in pixels of the picture `renderDeveloped` makes of this result (its preview).
std::pair<int64_t, int64_t> developedSize(const DevelopInput& outcome);

// The finished picture at width x height (a reduction of the preview's size, proportions kept by
// the caller), as packed 8-bit RGB tagged with the document's colour space; it looks as the
// preview shrunk to that size by area averaging does. Nothing once `stop` is asked to stop. Safe
// on any thread, many at once.
std::optional<Bitmap> renderTilePicture(const DevelopInput& outcome, const DevelopSettings& settings, int64_t width,
                                        int64_t height, std::stop_token stop = {});

} // namespace oxel
