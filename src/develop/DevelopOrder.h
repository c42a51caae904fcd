#pragma once

#include "develop/DevelopInput.h"
#include "develop/DevelopSettings.h"
#include "develop/grade/GradeLooks.h"
#include "imaging/Bitmap.h"
#include "imaging/Image.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderContext.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace oxel {

// The develop order: one delivered result turned into the finished picture with its develop
// settings (the runner-up choice, the light strength, the colour amount and the grain switch),
// always in the same steps: detail transfer, grade, skin hold, colour, grain. Nothing here keeps
// state, reads a setting or changes the outcome, so results may be developed from several threads
// at once.

// A colour amount at or below this leaves the picture ungraded.
inline constexpr double colourThreshold = 0.0005;
// The qualities tried, in order, until a report JPEG fits its limit.
inline constexpr std::array<double, 4> reportJPEGQualities{0.8, 0.6, 0.4, 0.2};
inline constexpr size_t reportJPEGLimit = 9'000'000;
inline constexpr double lookThumbnailEdge = 240;

// The grade step: `base` wearing the looks' grade (the runner-up with `alternative`, when there is
// one) at `amount` through the mask that holds skin off, measured in sRGB when the transfer's
// document is in another space. The exporter's flat pictures take the same step.
Image wearLooks(const Image& base, const GradeLooks& looks, bool alternative, double amount,
                const DetailTransfer& transfer);

// The finished picture, not yet rendered, in the transfer's document space.
Image develop(const DevelopInput& outcome, const DevelopSettings& settings);

// The steps after the detail transfer over `base`, at whatever size it is drawn: the grade with
// `looks` (the result's, or the same with their skin mask at the base's size), then the grain that
// `grain` gives for the base's extent, each only when the settings and the result ask for it.
using GrainOver = std::function<std::optional<Image>(const Rect& extent)>;
Image gradedAndGrained(const DevelopInput& outcome, const DevelopSettings& settings, Image base,
                       const std::optional<GradeLooks>& looks, const GrainOver& grain);

// The finished picture at full size, 8 bits a channel, tagged with the document space. A
// colour-only result with nothing to add comes back as its stored picture. Nothing once `stop` is
// asked to stop.
std::optional<Bitmap> renderDeveloped(const DevelopInput& outcome, const DevelopSettings& settings,
                                      std::stop_token stop = {});

// A JPEG of the finished picture in sRGB, its long edge at most `maxEdge` (never enlarged), at the
// best quality step that keeps it within 9,000,000 bytes; nothing when none does.
std::optional<std::vector<uint8_t>> developedJPEG(const DevelopInput& outcome, const DevelopSettings& settings,
                                                  double maxEdge);

// The pixel size of a picture reduced to `longEdge` on its long side, never enlarged: each side
// scaled and rounded down. Scaled as side x longEdge / longest, so that a side meant to land on a
// whole number does not fall a pixel short by rounding.
PixelRect reducedArea(const Rect& extent, double longEdge);

// The bytes of the first quality step whose JPEG is at most `limit` bytes long.
std::optional<std::vector<uint8_t>> jpegWithinLimit(const Bitmap& bitmap, size_t limit);

// One small sRGB picture per look, chosen look first, graded fully with the looks' skin mask;
// long edge at most 240 pixels, never enlarged. A thumbnail that fails is left out.
std::vector<Bitmap> lookThumbnails(const Image& image, const GradeLooks& looks, const RenderContext& context);
// The same thumbnails as pictures that can be made again, for a result to keep: each is rendered
// when first asked for, and again from the same picture and grade once the shared cache let it go.
std::vector<PictureHandle> keptLookThumbnails(const Image& image, const GradeLooks& looks,
                                              const RenderContext& context);

// The refined picture of a full-send render: saturation 0.95 (0 for black and white), as an
// 8-bit sRGB picture; the input itself when that fails.
Bitmap deriveRefined(const Bitmap& picture, bool blackAndWhite);

} // namespace oxel
