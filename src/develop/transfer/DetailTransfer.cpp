#include "develop/transfer/DetailTransfer.h"

#include "develop/grade/Stretch.h"
#include "develop/transfer/Fingerprint.h"
#include "develop/transfer/LanczosScale.h"
#include "develop/transfer/TransferContext.h"
#include "develop/transfer/TransferKernels.h"
#include "imaging/Filters.h"
#include "imaging/Kernel.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderBanded.h"
#include "imaging/TileMemoNode.h"

#include <cmath>
#include <vector>

namespace oxel {

namespace {

// Past these, planning keeps the scaled picture (16 bytes a pixel estimated) or the masks lazy.
constexpr int64_t scaledPictureLimit = 52'428'800;
constexpr int64_t maskLimit = 104'857'600;

constexpr int divergenceSide = 256;
constexpr int divergenceMinimumEdges = 656;

Image atOrigin(const Image& image)
{
    const Rect extent = image.extent();
    if (image.isNull() || extent.isInfinite() || (extent.x == 0 && extent.y == 0)) return image;
    return image.translated(-extent.x, -extent.y);
}

PlanResult declined(TransferDecline decline)
{
    return {std::nullopt, std::move(decline)};
}

// Whether every sRGB colour has a place in `space`: each sRGB primary lands inside the space's
// unit cube. Then converting an sRGB picture in and out again gives back its samples.
bool holdsSRGBGamut(const RGBSpace& space)
{
    constexpr double slack = 1e-4;
    for (size_t row = 0; row < 3; ++row) {
        double white = 0;
        for (size_t column = 0; column < 3; ++column) {
            double share = 0;
            for (size_t k = 0; k < 3; ++k) share += space.fromXYZ[row * 3 + k] * sRGBToXYZ[k * 3 + column];
            if (!(share >= -slack)) return false;
            white += share;
        }
        if (!(white <= 1 + slack)) return false;
    }
    return true;
}

int64_t roundedPixels(const Rect& rect)
{
    return std::llround(rect.width) * std::llround(rect.height);
}

} // namespace

DetailTransfer::DetailTransfer(Image original, Image render, ColourSpace documentSpace, TransferLimits limits,
                               ReducedDecodes reducedOriginal)
    : original_(atOrigin(original)),
      reducedOriginal_(std::move(reducedOriginal)),
      render_(atOrigin(render)),
      sRGBRender_(render_),
      deliveredRender_(render_),
      documentSpace_(std::move(documentSpace)),
      context_(makeTransferContext()),
      limits_(limits)
{
    const auto parsed = RGBSpace::of(documentSpace_);
    space_ = parsed.value_or(RGBSpace::sRGB());
    documentIsSRGB_ = isSRGB(documentSpace_) || !parsed || parsed->isNearSRGB();
    if (!documentIsSRGB_)
        if (auto converted = space_.fromSRGB(render_)) render_ = *converted;
    if (!documentIsSRGB_ && !holdsSRGBGamut(space_)) deliveredRender_ = inSRGB(render_);
}

Image DetailTransfer::inSRGB(const Image& image) const
{
    if (documentIsSRGB_) return image;
    return space_.toSRGB(image).value_or(image);
}

Image DetailTransfer::originalFor(const Rect& target) const
{
    const int64_t longSide = std::llround(std::ceil(std::max(target.width, target.height)));
    const Image reduced = originalAtLeast(longSide);
    const Rect extent = reduced.extent();
    return extent.width >= target.width && extent.height >= target.height ? reduced : original_;
}

Image DetailTransfer::originalAtLeast(int64_t longSide) const
{
    const auto reduced = reducedOriginal_ ? reducedOriginal_(longSide) : std::nullopt;
    if (!reduced || reduced->isNull()) return original_;
    const Rect extent = reduced->extent();
    return std::max(extent.width, extent.height) >= double(longSide) ? atOrigin(*reduced) : original_;
}

Image DetailTransfer::gaussianBlur(const Image& image, double radius)
{
    return oxel::gaussianBlur(image.clampedToExtent(), radius).cropped(image.extent());
}

// The confidence kernel reads only the green channels of four blurs; the two pictures' greens
// travel side by side in one picture, so two blurs do the work of four. Each tile works the
// greens out once, over the coarse blur's reach, and the fine blur reads them from there: the
// coarse blur comes first.
Image DetailTransfer::rawConfidence(const Image& originalInput, const Image& renderInput, const Rect& target,
                                    double reach) const
{
    const Image greens = tileMemoised(applyKernel(
        target,
        [](RGB o, RGB r) {
            return RGB{o.g, r.g, 0};
        },
        originalInput, renderInput));
    const Image fine = gaussianBlur(greens, 2 * reach);
    const Image coarse = gaussianBlur(greens, 8 * reach);
    return applyKernel(
        target, [](RGB c, RGB f) { return TransferKernels::confidence(f.r, c.r, f.g, c.g); }, coarse, fine);
}

std::optional<TransferDecline> DetailTransfer::sceneDecline() const
{
    TransferPlan scratch;
    return measureScene(scratch);
}

PlanResult DetailTransfer::plan(bool upscale, bool refine) const
{
    const Rect renderExtent = render_.extent();
    TransferPlan plan;
    plan.upscaled = upscale && limits_.detailTransferEnabled && renderExtent.width * 1.05 < original_.extent().width;
    plan.target = plan.upscaled ? original_.extent() : renderExtent;
    if (auto decline = measureScene(plan)) return declined(std::move(*decline));

    const Materialising materialised = materialising(roundedPixels(plan.target), refine);
    makeWorkingPair(plan, materialised.scaledPicture);
    // Unscaled, the render in sRGB is the delivered one, as converting it into the document space
    // and back would give it (or that round trip, where the document clips sRGB colours).
    makeMasks(plan, plan.upscaled ? inSRGB(plan.renderUp) : deliveredRender_, materialised, 1);
    plan.divergence = divergence(plan.confidence, plan.target);
    return {std::move(plan), std::nullopt};
}

std::optional<TransferDecline> DetailTransfer::measureScene(TransferPlan& plan) const
{
    const Rect renderExtent = render_.extent();
    if (render_.isNull() || !(renderExtent.width > 0) || !(renderExtent.height > 0)) return TransferDecline::noRender();
    // The grids are far smaller than a tile: the original is read as a standard tile reads it, so
    // that a reopened result decodes it once for both.
    constexpr int64_t sceneOriginalSide = 480;
    const auto originalGrid = Fingerprint::make(inSRGB(originalAtLeast(sceneOriginalSide)), context_);
    const auto renderGrid = Fingerprint::make(deliveredRender_, context_);
    if (!originalGrid || !renderGrid)
        return TransferDecline::notSameScene(Fingerprint::failed, {}, Fingerprint::failed);
    plan.turns = Fingerprint::correlations(Fingerprint::smoothed(*originalGrid), Fingerprint::smoothed(*renderGrid));
    plan.structure = plan.turns.empty() ? Fingerprint::failed : plan.turns.front();
    const auto luma = Fingerprint::correlations(*originalGrid, *renderGrid);
    plan.correlation = luma.empty() ? Fingerprint::failed : luma.front();
    // Written so that a structure that is not a number is declined too.
    if (!(limits_.sameSceneLimit < plan.structure))
        return TransferDecline::notSameScene(plan.structure, plan.turns, plan.correlation);
    return std::nullopt;
}

// Brings original and render to the target; the one of them that was scaled is kept at 16 bits.
void DetailTransfer::makeWorkingPair(TransferPlan& plan, bool materialiseScaled) const
{
    Image& scaled = plan.upscaled ? plan.renderUp : plan.src;
    plan.renderUp = plan.upscaled ? lanczosScale(render_, plan.target) : render_;
    plan.src = plan.upscaled ? original_ : lanczosScale(originalFor(plan.target), plan.target);
    if (materialiseScaled) scaled = materialise(scaled, true).value_or(scaled);
    makeLowPass(plan, 1);
}

TransferPlan DetailTransfer::reducedPlan(const Rect& target, float divergence) const
{
    TransferPlan plan;
    plan.target = target;
    plan.divergence = divergence;
    const Rect full = render_.extent();
    const double reach = std::sqrt(target.width * target.height / (full.width * full.height));
    const auto shrunk = [&target](const Image& image) { return stretchedTo(atOrigin(image), target); };
    const auto kept = [this](const Image& image) { return materialise(image, true).value_or(image); };
    plan.src = kept(shrunk(originalFor(target)));
    // Shrunk before it is converted into the document space: converting it at the render's size
    // would cost more than the rest of the plan.
    const Image render = shrunk(sRGBRender_);
    plan.renderUp = kept(documentIsSRGB_ ? render : space_.fromSRGB(render).value_or(render));
    makeLowPass(plan, reach);
    // Kept as well, so that combining again at another strength only reads pictures.
    plan.originalLow = kept(plan.originalLow);
    plan.originalLowClipped = documentIsSRGB_ ? plan.originalLow : kept(plan.originalLowClipped);
    // As the delivered render stands in for the render in sRGB: the same round trip.
    makeMasks(plan, inSRGB(plan.renderUp), {true, true}, reach);
    return plan;
}

void DetailTransfer::makeLowPass(TransferPlan& plan, double reach) const
{
    plan.originalLow = gaussianBlur(plan.src, 1.5 * reach);
    plan.originalLowClipped =
        documentIsSRGB_ ? plan.originalLow : gaussianBlur(space_.clipViaSRGB(plan.src), 1.5 * reach);
}

void DetailTransfer::makeMasks(TransferPlan& plan, const Image& renderInSRGB, Materialising materialised,
                               double reach) const
{
    Image raw = rawConfidence(inSRGB(plan.src), renderInSRGB, plan.target, reach);
    // Both masks blur the same raw confidence: kept for the moment they are made, it is computed
    // once instead of once per mask tile. Only within the scaled picture's memory budget, and at
    // the masks' own 8 bits.
    if (materialised.masks && materialised.scaledPicture) raw = materialise(raw, false).value_or(raw);
    // The wide blur first: its working memory peaks before the other mask is held.
    plan.soft = gaussianBlur(raw, 40 * reach).cropped(plan.target);
    if (materialised.masks) plan.soft = materialise(plan.soft, false).value_or(plan.soft);
    plan.confidence = gaussianBlur(raw, 6 * reach).cropped(plan.target);
    if (materialised.masks) plan.confidence = materialise(plan.confidence, false).value_or(plan.confidence);
}

DetailTransfer::Materialising DetailTransfer::materialising(int64_t pixels, bool refine)
{
    return {refine && pixels <= scaledPictureLimit, refine && pixels <= maskLimit};
}

float DetailTransfer::divergence(const Image& confidence, const Rect& target) const
{
    if (confidence.isNull() || target.isEmpty() || target.isInfinite()) return 0;
    const Image proxy = confidence.scaled(divergenceSide / target.width, divergenceSide / target.height);
    std::vector<RGB> samples(size_t(divergenceSide) * divergenceSide);
    makeShrinkingContext().render(proxy, PixelRect{0, 0, divergenceSide, divergenceSide}, samples.data(),
                                  divergenceSide);
    int edges = 0, disagreeing = 0;
    for (const RGB& sample : samples) {
        if (!(sample.b > 0.5f)) continue;
        ++edges;
        if (sample.r < 0.6f) ++disagreeing;
    }
    if (edges < divergenceMinimumEdges) return 0;
    return float(disagreeing) / float(edges);
}

std::optional<Image> DetailTransfer::materialise(const Image& image, bool sixteenBit) const
{
    const Rect extent = image.extent();
    const int64_t width = roundedSide(extent.width), height = roundedSide(extent.height);
    if (image.isNull() || extent.isInfinite() || width < 1 || height < 1) return std::nullopt;
    // Made now, so that planning's cost is paid once here; kept in the shared cache and rendered
    // again from the same recipe when it was let go.
    const auto made = PictureHandle::madeNow(
        [image, width, height, sixteenBit, space = documentSpace_, context = makeBlurringContext()] {
            return renderBanded(image, width, height, sixteenBit, space, context);
        });
    if (!made) return std::nullopt;
    return made->image();
}

float DetailTransfer::effectiveStrength(const TransferPlan& plan, float strength) const
{
    if (limits_.refineDivergenceLimit < plan.divergence) return 1;
    if (std::isnan(strength)) return 1;
    return std::clamp(strength, 0.0f, 1.0f);
}

std::optional<Image> DetailTransfer::combine(const TransferPlan& plan, float strength) const
{
    if (plan.src.isNull() || plan.renderUp.isNull() || plan.confidence.isNull() || plan.soft.isNull())
        return std::nullopt;
    const float s = effectiveStrength(plan, strength);
    const auto combined = [s](RGB renderUp, RGB original, RGB low, RGB lowClipped, RGB conf, RGB soft) {
        return TransferKernels::combineDetail(original, low, renderUp - lowClipped, conf.g, soft.r, s);
    };
    // For sRGB documents both low-pass pictures are one recipe: read it once.
    if (plan.originalLowClipped.node() == plan.originalLow.node())
        return applyKernel(
            plan.target,
            [combined](RGB renderUp, RGB original, RGB low, RGB conf, RGB soft) {
                return combined(renderUp, original, low, low, conf, soft);
            },
            plan.renderUp, plan.src, plan.originalLow, plan.confidence, plan.soft);
    return applyKernel(plan.target, combined, plan.renderUp, plan.src, plan.originalLow, plan.originalLowClipped,
                       plan.confidence, plan.soft);
}

std::optional<Image> DetailTransfer::lightLayer(const TransferPlan& plan)
{
    if (plan.renderUp.isNull() || plan.originalLowClipped.isNull()) return std::nullopt;
    return applyKernel(plan.target, TransferKernels::lightLayer, plan.renderUp, plan.originalLowClipped);
}

std::optional<Image> DetailTransfer::smoothMask(const TransferPlan& plan)
{
    if (plan.confidence.isNull()) return std::nullopt;
    return applyKernel(
        plan.target, [](RGB conf) { return TransferKernels::smoothMask(conf.g); }, plan.confidence);
}

std::optional<Image> DetailTransfer::softMask(const TransferPlan& plan, float invert)
{
    if (plan.soft.isNull()) return std::nullopt;
    return applyKernel(
        plan.target, [invert](RGB soft) { return TransferKernels::softMask(soft.r, invert); }, plan.soft);
}

std::optional<Image> DetailTransfer::softMask(const TransferPlan& plan)
{
    return softMask(plan, 0);
}

std::optional<Image> DetailTransfer::invertedSoftMask(const TransferPlan& plan)
{
    return softMask(plan, 1);
}

} // namespace oxel
