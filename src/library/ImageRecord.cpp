#include "library/ImageRecord.h"

#include "backend/JobId.h"
#include "library/LibraryJson.h"
#include "library/RecordFields.h"

#include <algorithm>

namespace oxel {
namespace {

constexpr CaseTexts<ImageRecord::State, 4> stateTexts{{"unprocessed", "developing", "done", "failed"}};
constexpr CaseTexts<ImageRecord::Mode, 2> modeTexts{{"light", "colour"}};

bool isLowerCaseLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The job id goes into request paths: a record naming anything else is refused whole, as one
// naming a render outside its folder is, and left as it stands on disk.
void checkJobId(const std::optional<std::string>& jobId)
{
    if (jobId && !isJobId(*jobId)) throwBadValue("jobId", "a job id");
}

void checkRenderFile(const std::optional<std::string>& name)
{
    if (name && !ImageRecord::isRenderFileName(*name)) throwBadValue("renderFile", "\"render.\" and an extension");
}

} // namespace

bool ImageRecord::hasResult() const
{
    return state == State::done && (renderFile || mode == Mode::colour);
}

bool ImageRecord::isRenderFileName(std::string_view name)
{
    constexpr std::string_view stem = "render.";
    if (!name.starts_with(stem)) return false;
    const auto extension = name.substr(stem.size());
    return !extension.empty() && extension.size() <= 5 &&
           std::all_of(extension.begin(), extension.end(), isLowerCaseLetterOrDigit);
}

ImageRecord ImageRecord::read(const Json& object)
{
    ImageRecord record;
    record.id = requiredUuid(object, "id");
    record.original = requiredNested(object, "original", OriginalRef::read);
    record.state = requiredCase(object, "state", stateTexts);
    record.jobId = optionalText(object, "jobId");
    checkJobId(record.jobId);
    record.jobAccount = optionalText(object, "jobAccount");
    record.addition = requiredText(object, "addition");
    record.unlinkedNudge = optionalText(object, "unlinkedNudge");
    record.strengthOffset = requiredNumber(object, "strengthOffset");
    record.strengthTouched = requiredBoolean(object, "strengthTouched");
    record.colourOffset = requiredNumber(object, "colourOffset");
    record.colourTouched = requiredBoolean(object, "colourTouched");
    record.useAlternative = requiredBoolean(object, "useAlternative");
    record.renderFile = optionalText(object, "renderFile");
    checkRenderFile(record.renderFile);
    record.exports = requiredNestedList(object, "exports", ExportRecord::read);
    record.sentBack = optionalNested(object, "sentBack", FileStamp::read);
    record.mode = optionalCase(object, "mode", modeTexts);
    record.grainBaked = optionalBoolean(object, "grainBaked");
    record.planMatched = optionalBoolean(object, "planMatched");
    record.planDivergence = optionalNumber(object, "planDivergence");
    return record;
}

std::optional<PlanVerdict> ImageRecord::planVerdict() const
{
    if (!planMatched) return std::nullopt;
    return PlanVerdict{*planMatched, *planMatched ? float(planDivergence.value_or(0)) : 0.0f};
}

void ImageRecord::setPlanVerdict(const std::optional<PlanVerdict>& verdict)
{
    planMatched = verdict ? std::optional(verdict->matched) : std::nullopt;
    planDivergence = verdict && verdict->matched ? std::optional(double(verdict->divergence)) : std::nullopt;
}

Json ImageRecord::json() const
{
    checkRenderFile(renderFile);
    return RecordWriter()
        .uuid("id", id)
        .nested("original", original)
        .enumeration("state", state, stateTexts)
        .text("jobId", jobId)
        .text("jobAccount", jobAccount)
        .text("addition", addition)
        .text("unlinkedNudge", unlinkedNudge)
        .number("strengthOffset", strengthOffset)
        .flag("strengthTouched", strengthTouched)
        .number("colourOffset", colourOffset)
        .flag("colourTouched", colourTouched)
        .flag("useAlternative", useAlternative)
        .text("renderFile", renderFile)
        .list("exports", exports)
        .nested("sentBack", sentBack)
        .enumeration("mode", mode, modeTexts)
        .flag("grainBaked", grainBaked)
        .flag("planMatched", planMatched)
        .number("planDivergence", planDivergence)
        .json();
}

Decoded<ImageRecord> ImageRecord::decode(std::string_view bytes)
{
    return decodeStoredRecord<ImageRecord>(bytes);
}

Decoded<std::string> ImageRecord::encode() const
{
    return encodeStoredRecord(*this);
}

} // namespace oxel
