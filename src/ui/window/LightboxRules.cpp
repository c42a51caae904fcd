#include "ui/window/LightboxRules.h"

#include "ui/window/BandRules.h"

namespace oxel::lightbox {

Picture chosenPicture(const BatchItem& item, bool comparing)
{
    if (comparing ? item.originalPreview().has_value() : item.previewImage().has_value())
        return comparing ? Picture::originalPreview : Picture::developedPreview;
    return item.thumbnail() ? Picture::thumbnail : Picture::none;
}

std::optional<PictureHandle> pictureHandle(const BatchItem& item, Picture picture)
{
    switch (picture) {
    case Picture::originalPreview: return item.originalPreview();
    case Picture::developedPreview: return item.previewImage();
    case Picture::thumbnail: return item.thumbnail();
    case Picture::none: break;
    }
    return std::nullopt;
}

std::string infoLine(const BatchItem& item)
{
    if (const auto& source = item.source())
        return std::to_string(source->pixelWidth) + "×" + std::to_string(source->pixelHeight) + " · " +
               std::to_string(source->bitsPerComponent) + "-bit · " + source->profileLabel();
    if (item.availability().kind != Availability::Kind::present) return item.availability().detail;
    return {};
}

std::string hint(const BatchItem& item, bool comparing)
{
    if (comparing) return "original";
    if (!item.result()) return "not developed yet";
    return "hold space to compare · ← → next";
}

bool lightTrackEnabled(const BatchItem& item)
{
    const auto& result = item.result();
    if (!result || !result->previewPlan) return false;
    return result->previewPlan.divergence() <= result->transfer.limits().refineDivergenceLimit;
}

bool colourRowShown(bool suggestedGradeEnabled, const std::vector<std::shared_ptr<BatchItem>>& items,
                    const BatchItem& item)
{
    return item.result() && item.result()->looks && bands::showsColourBand(suggestedGradeEnabled, items);
}

} // namespace oxel::lightbox
