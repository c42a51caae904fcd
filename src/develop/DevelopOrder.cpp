#include "develop/DevelopOrder.h"

#include "develop/Grain.h"
#include "develop/grade/ColourWear.h"
#include "develop/grade/GradeWear.h"

#include "imaging/RenderBanded.h"

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

// The picture before grading: a colour-only result's stored picture, taken as its values stand;
// else the detail transfer's combination, or the render when there is none.
Image basePicture(const DevelopInput& outcome, double strength)
{
    if (outcome.colourOnly && outcome.picture) return outcome.picture->image();
    if (const TransferPlan* plan = outcome.previewPlan.made()) {
        if (auto combined = outcome.transfer.combine(*plan, float(strength))) return *combined;
    }
    // The transfer holds the render in the document's own encoding; the delivered one is sRGB.
    return outcome.transfer.documentIsSRGB() ? outcome.render : outcome.transfer.render();
}

bool hasGradeWork(const DevelopInput& outcome, double colour)
{
    return colour > colourThreshold && outcome.looks;
}

bool hasGrainWork(const DevelopInput& outcome, bool grainEnabled)
{
    return grainEnabled && !outcome.grainBaked && outcome.grainLevel;
}

// A colour-only result with nothing to add is its stored picture as it stands.
bool storedPictureAsItStands(const DevelopInput& outcome, const DevelopSettings& settings)
{
    return outcome.colourOnly && outcome.picture && !hasGradeWork(outcome, settings.colour) &&
           !hasGrainWork(outcome, settings.grain);
}

} // namespace

Image wearLooks(const Image& base, const GradeLooks& looks, bool alternative, double amount,
                const DetailTransfer& transfer)
{
    const SuggestedGrade& grade = looks.grade(alternative);
    const Image hold = holdMask(looks.mask, grade.skinHold, base.extent());
    return wearGrade(base, grade, amount, hold, transfer.documentIsSRGB() ? nullptr : &transfer.space());
}

PixelRect reducedArea(const Rect& extent, double longEdge)
{
    const double longest = std::max(extent.width, extent.height);
    const double reach = std::min(longEdge, longest);
    return {0, 0, int64_t(std::floor(extent.width * reach / longest)),
            int64_t(std::floor(extent.height * reach / longest))};
}

Image gradedAndGrained(const DevelopInput& outcome, const DevelopSettings& settings, Image base,
                       const std::optional<GradeLooks>& looks, const GrainOver& grain)
{
    if (hasGradeWork(outcome, settings.colour) && looks)
        base = wearLooks(base, *looks, settings.alternative, settings.colour, outcome.transfer);
    if (hasGrainWork(outcome, settings.grain)) {
        if (auto over = grain(base.extent())) base = Grain::apply(*over, base);
    }
    return base;
}

Image develop(const DevelopInput& outcome, const DevelopSettings& settings)
{
    return gradedAndGrained(
        outcome, settings, basePicture(outcome, settings.strength), outcome.looks,
        [&outcome](const Rect& extent) { return Grain::image(*outcome.grainLevel, outcome.jobId, extent); });
}

std::optional<Bitmap> renderDeveloped(const DevelopInput& outcome, const DevelopSettings& settings,
                                      std::stop_token stop)
{
    if (storedPictureAsItStands(outcome, settings)) return outcome.picture->bitmap();
    const Image image = develop(outcome, settings);
    const Rect extent = image.extent();
    if (extent.isInfinite() || extent.isEmpty()) return std::nullopt;
    const int64_t width = roundedSide(extent.width), height = roundedSide(extent.height);
    return renderBanded(image.translated(-extent.x, -extent.y), width, height, false, outcome.transfer.documentSpace(),
                        outcome.transfer.context(), nullptr, defaultBandRows, std::move(stop));
}

} // namespace oxel
