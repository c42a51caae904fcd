#include "library/OutcomeBuild.h"

#include "develop/DevelopOrder.h"
#include "develop/SourceDecoding.h"
#include "develop/TileBox.h"
#include "develop/TilePicture.h"
#include "develop/grade/GradeLooks.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/transfer/DetailTransfer.h"
#include "export/PNGEncoder.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderBanded.h"
#include "platform/Diagnostics.h"
#include "platform/JsonFields.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <new>

namespace oxel {
namespace {

constexpr int64_t baseBandRows = 128;
constexpr const char* renderLost = "a result's render could not be made again from its bytes";

// The received picture and the render made of it, with the recipe that makes the render again
// from the received bytes once the shared cache let it go.
struct RenderPicture {
    Bitmap received;
    Bitmap picture;
    PictureRecipe recipe;
};

std::optional<RenderPicture> renderPicture(std::shared_ptr<const std::vector<uint8_t>> bytes, bool finishedByBackend,
                                           bool blackAndWhite)
{
    auto file = readPictureFile(*bytes);
    if (!file) return std::nullopt;
    auto received = decodeStoredPicture(*bytes, *file, 0);
    if (!received) return std::nullopt;
    auto decode = [bytes, file = *file] { return decodeStoredPicture(*bytes, file, 0); };
    if (finishedByBackend) {
        PictureRecipe recipe{received->width(), received->height(), decode, renderLost};
        return RenderPicture{*received, *received, std::move(recipe)};
    }
    Bitmap refined = deriveRefined(*received, blackAndWhite);
    PictureRecipe recipe{refined.width(), refined.height(),
                         [decode, blackAndWhite]() -> std::optional<Bitmap> {
                             auto again = decode();
                             if (!again) return std::nullopt;
                             return deriveRefined(*again, blackAndWhite);
                         },
                         renderLost};
    return RenderPicture{*received, std::move(refined), std::move(recipe)};
}

std::optional<GradeLooks> looksOf(const AnalysisResponse& analysis, const Image& render, const RenderContext& context)
{
    if (!analysis.grade) return std::nullopt;
    return GradeLooks{*analysis.grade, GradeRunnerUp::alternative(*analysis.grade, analysis.gradeLookAlt),
                      GradeLooks::skinMask(render, context)};
}

std::optional<BuiltResult> build(const ResultToBuild& result, std::stop_token stop)
{
    const auto& analysis = *result.analysis;
    auto picture = renderPicture(result.picture, result.finishedByBackend, analysis.isBlackAndWhite);
    if (!picture || stop.stop_requested()) return std::nullopt;

    // The kept render is encoded while the transfer is planned.
    std::future<std::vector<uint8_t>> keptRender;
    if (result.finishedByBackend) {
        std::promise<std::vector<uint8_t>> received;
        received.set_value(*result.picture);
        keptRender = received.get_future();
    } else {
        keptRender = std::async(std::launch::async, [refined = picture->picture, bytes = result.picture] {
            return pngData(refined).value_or(*bytes);
        });
    }

    const Image render = PictureHandle::seeded(picture->picture, std::move(picture->recipe)).image();
    // The preview plan reads the original through a reduced decode at the render's size.
    DetailTransfer transfer(result.original.image, render, result.original.colorSpace, result.limits,
                            reducedDecodes(result.original));
    PlanResult plan = transfer.plan(false, true);
    if (stop.stop_requested()) return std::nullopt;

    auto outcome = std::make_shared<JobOutcome>(result.jobId, render, transfer);
    outcome->previewPlan = plan.plan;
    if (plan.decline) outcome->planDecline = plan.decline->description();
    outcome->analysis = result.analysis;
    outcome->grainLevel = int(std::clamp<int64_t>(analysis.grain.full_send, 1, 3));
    outcome->grainBaked = result.finishedByBackend;
    if ((outcome->looks = looksOf(analysis, render, transfer.context())))
        outcome->lookThumbs = keptLookThumbnails(render, *outcome->looks, transfer.context());
    if (stop.stop_requested()) return std::nullopt;

    BuiltResult built;
    // The tile shows its picture at once; the whole preview and the base picture are made only when
    // a view shows them, and made again the same way when the cache let them go.
    const auto [width, height] = developedSize(*outcome);
    const auto [tileWidth, tileHeight] = TileBox::standard().fitted(width, height);
    built.tilePicture = renderTilePicture(*outcome, result.preview, tileWidth, tileHeight, stop);
    if (stop.stop_requested()) return std::nullopt;
    built.preview = PictureHandle(PictureRecipe{
        width, height, [outcome, settings = result.preview] { return renderDeveloped(*outcome, settings); },
        "a delivered result could not be developed"});
    if (outcome->previewPlan.made())
        built.base = PictureHandle(PictureRecipe{width, height, [outcome] { return basePicture(*outcome); }, {}});
    auto renderBytes = keptRender.get();
    if (auto analysisBytes = analysisJSON(*result.body)) {
        const std::string extension = keptRenderExtension(renderBytes);
        built.keep = KeptResult{std::move(renderBytes), extension, std::move(*analysisBytes)};
    }
    built.outcome = std::move(outcome);
    return built;
}

} // namespace

std::optional<BuiltResult> buildResult(const ResultToBuild& result, std::stop_token stop)
{
    try {
        return build(result, stop);
    } catch (const std::exception& failure) {
        // Out of memory or a codec's own failure: the job reports that the result could not be read.
        diagnose("jobs", "building the result of " + result.jobId + " failed: " + failure.what());
        return std::nullopt;
    }
}

std::optional<Bitmap> basePicture(const JobOutcome& outcome)
{
    if (outcome.colourOnly) return outcome.picture ? outcome.picture->bitmap() : std::nullopt;
    const TransferPlan* made = outcome.previewPlan.made();
    if (!made) return std::nullopt;
    const auto& plan = *made;
    const auto& transfer = outcome.transfer;
    return renderBanded(plan.src, std::llround(plan.target.width), std::llround(plan.target.height), false,
                        transfer.documentSpace(), transfer.context(), nullptr, baseBandRows);
}

std::optional<std::vector<uint8_t>> pngData(const Bitmap& picture)
{
    return encodePNGFast(picture);
}

std::optional<std::vector<uint8_t>> analysisJSON(std::string_view body)
{
    auto json = parseJson(body);
    if (!json || !json->is_object()) return std::nullopt;
    auto member = json->find("analysis");
    if (member == json->end()) return std::nullopt;
    try {
        const std::string text = member->dump();
        return std::vector<uint8_t>(text.begin(), text.end());
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::string keptRenderExtension(std::span<const uint8_t> bytes)
{
    constexpr uint8_t png[] = {0x89, 0x50, 0x4E, 0x47};
    return bytes.size() >= 4 && std::equal(png, png + 4, bytes.begin()) ? "png" : "jpg";
}

} // namespace oxel
