#include "ondevice/ColourOnly.h"

#include "async/Offload.h"
#include "backend/WireJson.h"
#include "develop/DevelopOrder.h"
#include "develop/TilePicture.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/transfer/TransferContext.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderContext.h"
#include "platform/Diagnostics.h"
#include "platform/Uuid.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace oxel::ColourOnly {
namespace {

constexpr int blackAndWhiteGrain = 3;
constexpr int colourGrain = 1;

void log(const std::string& line)
{
    diagnose("ColourOnly", line);
}

Json gradeJson(const SuggestedGrade& grade)
{
    Json json = grade;
    json["look"] = grade.look ? Json(*grade.look) : Json(nullptr);
    return json;
}

// What an answer or a black-and-white picture comes to before the previews are built.
struct Verdict {
    std::optional<AnalysisDocument> document;
    std::string cell = "none";
    double strength = 0;
    int ms = 0;
};

Verdict verdictOf(const Answered& answered)
{
    const ModelGradeAnswer& answer = answered.answer;
    const std::string ms = std::to_string(answered.ms);
    if (!answer.grade || !answer.cell) {
        log("declined (" + answer.temperature + ") in " + ms + " ms: " + answer.reading);
        return {analysisJSON(std::nullopt, false, answer.reading, leaveAsIs), "none", 0, answered.ms};
    }
    const std::string look = answer.cell->look();
    log(look + " at " + strengthText(answer.strength) + " in " + ms + " ms: " + answer.reading);
    return {analysisJSON(answer.grade, false, answer.reading, answer.brief), look, answer.strength, answered.ms};
}

} // namespace

Environment Environment::standard()
{
    return {&LanguageModel::shared(), &TimeSource::system()};
}

std::string newJobId()
{
    std::string id = Uuid::random().text();
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return "local-" + id;
}

std::string strengthText(double strength)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, strength).ptr;
    std::string written(text, end);
    if (written.find_first_of(".en") == std::string::npos) written += ".0";
    return written;
}

DevelopSettings firstLook(double colour, bool grain)
{
    return {.alternative = false, .strength = 0, .colour = colour, .grain = grain};
}

Task<ColourOnlyGrade> grade(SourceImage source, TransferLimits limits, bool retry, DevelopSettings settings,
                            Environment environment)
{
    const std::string jobId = newJobId();
    auto read = [source] { return source.previewImage(ColourSpace::sRGB(), false); };
    const std::optional<Bitmap> picture = co_await offload(WorkPriority::userInitiated, std::move(read));
    if (!picture) co_return ColourOnlyFailure::failed("could not read the picture");

    auto test = [picture = *picture] { return isBlackAndWhite(picture); };
    const bool monochrome = co_await offload(WorkPriority::userInitiated, std::move(test));
    Verdict verdict;
    if (monochrome) {
        log("black and white: not asked");
        verdict.document = analysisJSON(std::nullopt, true, "", leaveAsIs);
    } else {
        const Asked asked = co_await askModel(*picture, retry, environment);
        if (const auto* failure = std::get_if<ColourOnlyFailure>(&asked)) co_return *failure;
        verdict = verdictOf(std::get<Answered>(asked));
    }
    if (!verdict.document) co_return ColourOnlyFailure::failed("the analysis did not build");

    auto build = [source, jobId, document = *verdict.document, limits, settings] {
        return previews(source, jobId, document, limits, settings);
    };
    Previews built = co_await offload(WorkPriority::userInitiated, std::move(build));
    if (!built.outcome) co_return ColourOnlyFailure::failed("the result did not build");
    ColourOnlyResult result{std::move(built.outcome),
                            std::move(built.preview),
                            std::move(built.original),
                            verdict.cell,
                            verdict.strength,
                            verdict.ms,
                            monochrome,
                            KeptResult{}};
    result.keep.analysis = verdict.document->bytes;
    co_return result;
}

Task<Asked> askModel(Bitmap picture, bool retry, Environment environment)
{
    LanguageModel& model = *environment.model;
    if (!model.availability().isAvailable() || !model.readsPictures())
        co_return ColourOnlyFailure::unavailable(ModelGrade::diagnostic(model));
    auto size = [picture] { return scaled(picture, modelLongEdge); };
    const std::optional<Bitmap> sized = co_await offload(WorkPriority::userInitiated, std::move(size));
    if (!sized) co_return ColourOnlyFailure::failed("could not size the picture for the model");
    const auto started = environment.time->steady();
    const auto draft = co_await ModelGrade::ask(model, *sized, retry, environment.cancel);
    if (const auto* failure = std::get_if<ModelFailure>(&draft))
        co_return ColourOnlyFailure::failed(failure->description);
    const std::chrono::duration<double, std::milli> elapsed = environment.time->steady() - started;
    co_return Answered{ModelGrade::answer(std::get<ModelGradeDraft>(draft)), int(std::lround(elapsed.count()))};
}

std::optional<AnalysisDocument> analysisJSON(const std::optional<SuggestedGrade>& grade, bool blackAndWhite,
                                             const std::string& reading, const std::string& brief)
{
    Json json = {{"perceived_intent", ""},
                 {"descriptors", Json::array()},
                 {"descriptions", {{"original", reading}, {"refined", ""}, {"full_send", brief}}},
                 {"grain", {{"refined", 0}, {"full_send", 0}}},
                 {"isBlackAndWhite", blackAndWhite},
                 {"colour_only", true}};
    if (grade) json["grade"] = gradeJson(*grade);
    const std::string text = compactJson(json);
    auto decoded = AnalysisResponse::decode(text);
    if (!decoded) return std::nullopt;
    return AnalysisDocument{std::make_shared<const AnalysisResponse>(*std::move(decoded)),
                            std::vector<uint8_t>(text.begin(), text.end())};
}

Previews previews(const SourceImage& source, const std::string& jobId, const AnalysisDocument& document,
                  const TransferLimits& limits, const DevelopSettings& settings)
{
    const ColourSpace& documentSpace = source.colorSpace;
    PictureCache::Make read = [source, documentSpace] {
        return isSRGB(documentSpace) ? source.previewImage(ColourSpace::sRGB(), false)
                                     : source.previewImage(documentSpace, source.bitsPerComponent > 15);
    };
    const auto picture = read();
    if (!picture) return {};
    // The outcome keeps a way to read the picture again, not its pixels.
    const auto stored = PictureHandle::seeded(
        *picture, {picture->width(), picture->height(), std::move(read), "the colour-only original could not be read"});
    const Image image = stored.image();
    auto outcome = std::make_shared<JobOutcome>(
        jobId, image, DetailTransfer(source.image, image, documentSpace, limits, reducedDecodes(source)));
    const AnalysisResponse& analysis = *document.analysis;
    outcome->analysis = document.analysis;
    outcome->grainLevel = analysis.isBlackAndWhite ? blackAndWhiteGrain : colourGrain;
    outcome->colourOnly = true;
    outcome->picture = stored;
    if (analysis.grade) {
        const RenderContext context;
        GradeLooks looks{*analysis.grade, GradeRunnerUp::alternative(*analysis.grade, analysis.gradeLookAlt),
                         GradeLooks::skinMask(image, context)};
        outcome->lookThumbs = keptLookThumbnails(image, looks, context);
        outcome->looks = std::move(looks);
    }
    auto preview = renderDeveloped(*outcome, settings);
    return {std::move(outcome), std::move(preview), picture};
}

} // namespace oxel::ColourOnly
