#include "develop/TilePicture.h"

#include "develop/DevelopOrder.h"
#include "develop/Grain.h"
#include "develop/grade/Stretch.h"
#include "imaging/AreaAverage.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderBanded.h"

#include <algorithm>
#include <string>

namespace oxel {
namespace {

std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// The grain over a tile: the preview's grain shrunk to the tile's `area`. Tiles of one size
// wearing one texture share the picture.
std::optional<Image> tileGrain(const DevelopInput& outcome, const Rect& area)
{
    if (!outcome.grainLevel) return std::nullopt;
    const auto texture = Grain::texture(*outcome.grainLevel, outcome.jobId);
    if (!texture) return std::nullopt;
    const auto [previewWidth, previewHeight] = developedSize(outcome);
    const Rect preview{0, 0, double(previewWidth), double(previewHeight)};
    const int64_t width = roundedSide(area.width), height = roundedSide(area.height);
    const std::string key = "tile grain " + Grain::textureName(*outcome.grainLevel, outcome.jobId) + " " +
                            sizeText(previewWidth, previewHeight) + " " + sizeText(width, height);
    const Image shrunk = Grain::placedShrunk(*texture, preview, area);
    PictureRecipe recipe{width, height, [shrunk, width, height] {
                             return RenderContext().renderBitmap(shrunk, {0, 0, width, height}, PixelFormat::RGBX8);
                         }};
    return PictureHandle::named(key, std::move(recipe)).image();
}

// The looks with their skin mask shrunk to the tile, so that the grade does not shrink it again
// at every render.
std::optional<GradeLooks> tileLooks(const DevelopInput& outcome, const Rect& area)
{
    if (!outcome.looks) return std::nullopt;
    GradeLooks looks = *outcome.looks;
    if (isStretchable(looks.mask)) {
        const Image shrunk = stretchedTo(*looks.mask, area);
        looks.mask = outcome.transfer.materialise(shrunk, false).value_or(shrunk);
    }
    return looks;
}

// As the preview's picture before grading is chosen: a colour-only result's stored picture, the
// transfer where the preview plan matched, else the render.
std::shared_ptr<const TileInputs> makeTileInputs(const DevelopInput& outcome, int64_t width, int64_t height)
{
    const Rect area{0, 0, double(width), double(height)};
    const DetailTransfer& transfer = outcome.transfer;
    const auto shrunk = [&](const Image& image) {
        const Image stretched = stretchedTo(image, area);
        return transfer.materialise(stretched, true).value_or(stretched);
    };
    auto inputs = std::make_shared<TileInputs>();
    if (outcome.colourOnly && outcome.picture)
        inputs->base = shrunk(outcome.picture->image());
    else if (outcome.previewPlan)
        inputs->plan = transfer.reducedPlan(area, outcome.previewPlan.divergence());
    else
        inputs->base = shrunk(transfer.documentIsSRGB() ? outcome.render : transfer.render());
    inputs->looks = tileLooks(outcome, area);
    inputs->grain = tileGrain(outcome, area);
    return inputs;
}

Image tileBase(const DevelopInput& outcome, const TileInputs& inputs, double strength)
{
    if (!inputs.plan) return inputs.base;
    return outcome.transfer.combine(*inputs.plan, float(strength)).value_or(inputs.base);
}

} // namespace

DetailTransfer::ReducedDecodes reducedDecodes(const SourceImage& original)
{
    return [original](int64_t minLongSide) { return original.reducedImage(minLongSide); };
}

std::pair<int64_t, int64_t> developedSize(const DevelopInput& outcome)
{
    if (outcome.colourOnly && outcome.picture) return {outcome.picture->width(), outcome.picture->height()};
    // The preview plan is made at the render's size, and the steps after it keep the extent.
    const Rect extent = outcome.transfer.render().extent();
    return {roundedSide(extent.width), roundedSide(extent.height)};
}

std::optional<Bitmap> renderTilePicture(const DevelopInput& outcome, const DevelopSettings& settings, int64_t width,
                                        int64_t height, std::stop_token stop)
{
    if (width < 1 || height < 1 || stop.stop_requested()) return std::nullopt;
    const auto make = [&] { return makeTileInputs(outcome, width, height); };
    const auto inputs = outcome.tileInputs ? outcome.tileInputs->at(width, height, make) : make();
    if (!inputs || stop.stop_requested()) return std::nullopt;
    const Image finished = gradedAndGrained(outcome, settings, tileBase(outcome, *inputs, settings.strength),
                                            inputs->looks, [&inputs](const Rect&) { return inputs->grain; });
    const auto rendered = renderBanded(finished, width, height, false, outcome.transfer.documentSpace(),
                                       outcome.transfer.context(), nullptr, defaultBandRows, std::move(stop));
    if (!rendered) return std::nullopt;
    return areaAveragedRGB8(*rendered, width, height);
}

} // namespace oxel
