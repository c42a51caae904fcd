#include "sheets/TileRules.h"

#include "ui/window/LightboxRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace oxel::tile {
namespace {

constexpr double inFlightOpacity = 0.35;
constexpr double secondsToNearlyFull = 150;
constexpr double mostProgressShown = 0.95;

// The layered format a file's name says it holds; nothing for a name without a layered extension.
std::optional<ExportFormat> layeredFormatOf(const std::filesystem::path& file)
{
    std::string extension = file.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    const auto format = exportFormatForExtension(extension);
    if (format && carriesLayers(*format)) return format;
    return std::nullopt;
}

} // namespace

Picture chosenPicture(const BatchItem& item, bool comparing)
{
    if (comparing && item.originalPreview()) return {Picture::Kind::originalPreview, 1};
    if (!comparing && item.developedCopy()) return {Picture::Kind::developedCopy, 1};
    // Until its own picture comes, a result shows its kept thumbnail, or the preview it came with
    // while the cache holds it: never the original, which it shows only to compare, and never a
    // preview the tile would have to make.
    if (!comparing && item.result()) {
        if (item.developedThumbnail()) return {Picture::Kind::developedThumbnail, 1};
        if (item.previewImage() && item.previewImage()->heldPin()) return {Picture::Kind::developedPreview, 1};
        return {};
    }
    if (!comparing && item.previewImage()) return {Picture::Kind::developedPreview, 1};
    if (item.thumbnail()) return {Picture::Kind::thumbnail, item.phase().isInFlight() ? inFlightOpacity : 1};
    return {};
}

std::optional<PictureHandle> pictureHandle(const BatchItem& item, const Picture& picture)
{
    switch (picture.kind) {
    case Picture::Kind::originalPreview: return item.originalPreview();
    case Picture::Kind::developedPreview: return item.previewImage();
    case Picture::Kind::developedThumbnail: return item.developedThumbnail();
    case Picture::Kind::thumbnail: return item.thumbnail();
    case Picture::Kind::developedCopy:
    case Picture::Kind::none: break;
    }
    return std::nullopt;
}

PhaseCard phaseCard(const ItemPhase& phase)
{
    if (phase.is<phase::Processing>()) return {PhaseCard::Kind::progress, {}, false};
    if (const auto* failed = std::get_if<phase::Failed>(&phase))
        return {PhaseCard::Kind::failure, "failed · " + failed->message, failed->retryable};
    if (phase.is<phase::Queued>()) return {PhaseCard::Kind::caption, "waiting", false};
    if (phase.is<phase::Uploading>()) return {PhaseCard::Kind::caption, "sending", false};
    if (phase.is<phase::Finishing>()) return {PhaseCard::Kind::caption, "collecting", false};
    if (phase.is<phase::Restoring>()) return {PhaseCard::Kind::caption, "opening", false};
    return {};
}

double elapsedSeconds(const std::optional<Date>& startedAt, Date now)
{
    if (!startedAt) return 0;
    return std::max(0.0, std::chrono::duration<double>(now - *startedAt).count());
}

double elapsedProgress(const std::optional<Date>& startedAt, Date now)
{
    return std::min(elapsedSeconds(startedAt, now) / secondsToNearlyFull, mostProgressShown);
}

std::string elapsedText(const std::optional<Date>& startedAt, Date now)
{
    const auto whole = static_cast<long long>(elapsedSeconds(startedAt, now));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string statusLine(const phase::Processing& processing, const std::optional<Date>& startedAt, Date now)
{
    return processing.status + " · " + elapsedText(startedAt, now);
}

std::optional<std::string> directionLine(const phase::Processing& processing)
{
    if (!processing.narration || !processing.narration->direction || processing.narration->direction->empty())
        return std::nullopt;
    return processing.narration->direction;
}

std::optional<std::string> exportCardText(const BatchItem& item)
{
    if (!item.exportProgress()) return std::nullopt;
    if (item.exportWaiting()) return "waiting to write";
    const int percent = static_cast<int>(std::clamp(*item.exportProgress(), 0.0, 1.0) * 100);
    return "writing · " + std::to_string(percent) + "%";
}

std::string detailsLine(const BatchItem& item)
{
    if (const auto& source = item.source())
        return std::to_string(source->pixelWidth) + "×" + std::to_string(source->pixelHeight) + " · " +
               std::to_string(source->bitsPerComponent) + "-bit · " + source->profileLabel();
    if (item.original && item.original->pixels.size() == 2)
        return std::to_string(item.original->pixels[0]) + "×" + std::to_string(item.original->pixels[1]);
    return {};
}

std::string fileName(const BatchItem& item)
{
    return item.url().filename().string();
}

bool lightTrackEnabled(const BatchItem& item)
{
    // A picture developed on the original kept aside moves while its host's file is looked for.
    const bool developable = item.availability().kind == Availability::Kind::present || item.source();
    return lightbox::lightTrackEnabled(item) && developable;
}

bool showsColourOnlyMarker(const BatchItem& item)
{
    if (item.result()) return item.result()->colourOnly;
    return item.colourOnly;
}

std::string proposedExportName(const BatchItem& item)
{
    const bool colourOnly = item.result() && item.result()->colourOnly;
    return exportFileName(item.url().filename().stem().string(), exportTag(colourOnly), ExportFormat::psd);
}

std::filesystem::path layeredExportTarget(std::filesystem::path chosen, std::string_view extension)
{
    if (layeredFormatOf(chosen)) return chosen;
    chosen += ".";
    chosen += extension;
    return chosen;
}

ExportFormat layeredExportFormat(const std::filesystem::path& target)
{
    return layeredFormatOf(target).value_or(ExportFormat::psd);
}

ExportOptions singleExportOptions(const std::filesystem::path& target)
{
    ExportOptions options;
    options.format = layeredExportFormat(target);
    options.colour = ExportColour::embedded;
    options.sixteenBit = true;
    options.jpegQuality = 0.95;
    options.tiffLayered = true;
    options.inheritCaptureDate = true;
    return options;
}

} // namespace oxel::tile
