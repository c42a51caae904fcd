#include "model/LibraryRebuild.h"

#include "backend/AnalysisResponse.h"
#include "develop/DevelopOrder.h"
#include "develop/SourceCache.h"
#include "develop/SourceDecoding.h"
#include "develop/TilePicture.h"
#include "develop/grade/GradeRunnerUp.h"
#include "library/KeptAnalysis.h"
#include "library/KeptResultFiles.h"
#include "library/LibraryFiles.h"
#include "library/OutcomeBuild.h"
#include "ondevice/ColourOnly.h"
#include "platform/Diagnostics.h"

#include <algorithm>

namespace oxel {

namespace fs = std::filesystem;

namespace {

constexpr const char* renderLost = "a kept render of the library could not be read again";

std::optional<ColourOnly::AnalysisDocument> readAnalysis(const fs::path& imageFolder)
{
    auto kept = KeptAnalysis::read(imageFolder);
    if (!kept) return std::nullopt;
    return ColourOnly::AnalysisDocument{std::move(kept->analysis), std::move(kept->bytes)};
}

// A kept picture decoded once, as a handle of the shared cache, which reads the file again when it
// let the pixels go. The library writes a thumbnail again whenever the look changes: it is read as
// it is when made again. A render must be the one that was read first.
PictureHandle keptHandle(KeptPicture kept, const fs::path& file, std::string failureNote, int64_t nominalLongSide,
                         KeptDecode how)
{
    auto decode = [file, stamp = kept.stamp, nominalLongSide, how] {
        const auto now = how == KeptDecode::reduced ? FileState::of(file) : stamp;
        return now ? KeptPicture::decode(file, *now, nominalLongSide, how) : std::nullopt;
    };
    PictureRecipe recipe{kept.bitmap.width(), kept.bitmap.height(), std::move(decode), std::move(failureNote)};
    return PictureHandle::seeded(kept.bitmap, std::move(recipe));
}

// Pictures of a finished outcome as handles, made again the same way once let go: seeded with
// what was already made, else made now.
std::optional<RebuiltResult> withPictures(std::shared_ptr<const JobOutcome> outcome, const DevelopSettings& settings,
                                          std::optional<Bitmap> preview = {}, std::optional<Bitmap> original = {})
{
    PictureCache::Make develop = [outcome, settings] { return renderDeveloped(*outcome, settings); };
    PictureCache::Make base = [outcome] { return basePicture(*outcome); };
    auto handle = [](std::optional<Bitmap> made, PictureCache::Make make) -> std::optional<PictureHandle> {
        if (!made) return PictureHandle::madeNow(std::move(make));
        const auto width = made->width(), height = made->height();
        return PictureHandle::seeded(*made, PictureRecipe{width, height, std::move(make), {}});
    };
    auto previewHandle = handle(std::move(preview), std::move(develop));
    if (!previewHandle) return std::nullopt;
    auto originalHandle = handle(std::move(original), std::move(base));
    return RebuiltResult{std::move(outcome), std::move(*previewHandle), originalHandle.value_or(PictureHandle())};
}

// A restored result's pictures, made only when something first asks for them: a reopened batch
// of hundreds develops the pictures that come into view, not every one before any is shown.
std::optional<RebuiltResult> withPicturesOnDemand(std::shared_ptr<const JobOutcome> outcome,
                                                  const DevelopSettings& settings)
{
    // Developing keeps the render's extent, whether or not the plan matched; read from the render,
    // so that nothing is planned before a picture is asked for.
    const Rect developed = outcome->render.extent();
    if (developed.isInfinite() || developed.isEmpty()) return std::nullopt;
    PictureHandle preview(PictureRecipe{roundedSide(developed.width), roundedSide(developed.height),
                                        [outcome, settings] { return renderDeveloped(*outcome, settings); },
                                        "a restored result could not be developed again"});
    PictureHandle original;
    // The original at the preview plan's target, the render's size: a restored result is planned unscaled.
    if (outcome->previewPlan)
        original = PictureHandle(PictureRecipe{std::llround(developed.width),
                                               std::llround(developed.height),
                                               [outcome] { return basePicture(*outcome); },
                                               {}});
    return RebuiltResult{std::move(outcome), std::move(preview), std::move(original)};
}

std::optional<RebuiltResult> colourOnly(const ImageRecord& record, const SourceImage& source,
                                        const fs::path& imageFolder, const TransferLimits& limits,
                                        const DevelopSettings& settings)
{
    const auto document = readAnalysis(imageFolder);
    if (!document) return std::nullopt;
    const DevelopSettings firstLook = ColourOnly::firstLook(settings.colour, settings.grain);
    auto previews = ColourOnly::previews(source, record.jobId.value_or(""), *document, limits, firstLook);
    if (!previews.outcome || !previews.preview) return std::nullopt;
    return withPictures(std::move(previews.outcome), firstLook, std::move(previews.preview),
                        std::move(previews.original));
}

std::optional<RebuiltResult> fromBackend(const ImageRecord& record, const SourceImage& source,
                                         const fs::path& imageFolder, const TransferLimits& limits,
                                         const DevelopSettings& settings)
{
    auto files = KeptResultFiles::read(record, imageFolder, source.pixelWidth, source.pixelHeight);
    if (!files) return std::nullopt;
    const Image render =
        keptHandle(std::move(files->render), files->renderFile, renderLost,
                   KeptResultFiles::sentLongSide(source.pixelWidth, source.pixelHeight), KeptDecode::whole)
            .image();
    const AnalysisResponse& analysis = *files->analysis.analysis;

    DetailTransfer transfer(source.image, render, source.colorSpace, limits, reducedDecodes(source));

    auto outcome = std::make_shared<JobOutcome>(record.jobId.value_or(""), render, transfer);
    const auto verdict = record.planVerdict();
    // A verdict of a match is checked against the render as it is now, on small grids: a kept
    // render replaced by a picture of another scene is shown as it is, and says so.
    const auto sceneDecline = verdict && verdict->matched ? transfer.sceneDecline() : std::nullopt;
    if (sceneDecline) {
        outcome->planDecline = sceneDecline->description();
    } else if (verdict) {
        outcome->previewPlan = PreviewPlan::deferred(*verdict, [transfer] { return transfer.plan(false, true).plan; });
    } else {
        // Recorded before the library kept what planning found: planned now.
        const PlanResult plan = transfer.plan(false, true);
        outcome->previewPlan = plan.plan;
        if (plan.decline) outcome->planDecline = plan.decline->description();
    }
    outcome->analysis = files->analysis.analysis;
    outcome->grainLevel = int(std::clamp<int64_t>(analysis.grain.full_send, 1, 3));
    outcome->grainBaked = record.grainBaked.value_or(true);
    if (analysis.grade) {
        // A reopened result's pictures are made again only once the photographer changes how it
        // looks, or opens it: the mask waits for them.
        outcome->looks = GradeLooks{*analysis.grade, GradeRunnerUp::alternative(*analysis.grade, analysis.gradeLookAlt),
                                    GradeLooks::skinMaskWhenRead(render, transfer.context())};
        outcome->lookThumbs = keptLookThumbnails(render, *outcome->looks, transfer.context());
    }
    return withPicturesOnDemand(std::move(outcome), settings);
}

} // namespace

std::optional<PictureHandle> keptPicture(const fs::path& file, std::string failureNote, int64_t nominalLongSide,
                                         KeptDecode how)
{
    try {
        auto kept = KeptPicture::read(file, nominalLongSide, how);
        if (!kept) return std::nullopt;
        return keptHandle(std::move(*kept), file, std::move(failureNote), nominalLongSide, how);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<RebuiltResult> renderFromLibrary(const ImageRecord& record, const SourceImage& source,
                                               const fs::path& imageFolder, const TransferLimits& limits,
                                               const DevelopSettings& settings)
{
    try {
        // A folder that is a link is not the library's own: the library never writes through one,
        // and the start never counts what it holds as kept.
        if (!isPlainFolder(imageFolder)) return std::nullopt;
        if (record.mode == ImageRecord::Mode::colour) return colourOnly(record, source, imageFolder, limits, settings);
        return fromBackend(record, source, imageFolder, limits, settings);
    } catch (const std::exception& failure) {
        diagnose("library", std::string("rebuilding a result failed: ") + failure.what());
        return std::nullopt;
    }
}

} // namespace oxel
