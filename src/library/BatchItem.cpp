#include "library/BatchItem.h"

#include "backend/Utf8Text.h"
#include "library/JobFailure.h"

namespace oxel {
namespace {

// Nudges are compared and cut in user-perceived characters, so that a text that "begins with" the
// batch nudge always splits after it, never inside an accented letter or an emoji.
bool beginsWith(const std::string& text, const std::string& prefix)
{
    return firstCharacters(text, characterCount(prefix)) == prefix;
}

std::string after(const std::string& text, const std::string& prefix)
{
    return afterFirstCharacters(text, characterCount(prefix));
}

ImageRecord::State stateOf(const BatchItem& item)
{
    using State = ImageRecord::State;
    if (item.renderFile || item.colourOnly) return State::done;
    // Delivered but not yet stored: the backend still holds it for the job to be collected again.
    if (item.result() && item.jobId()) return State::developing;
    if (item.result()) return State::done;
    if (item.jobId() && (item.phase().isInFlight() || item.jobAwaitsCollection)) return State::developing;
    if (item.phase().is<phase::Failed>()) return State::failed;
    return State::unprocessed;
}

} // namespace

std::shared_ptr<BatchItem> BatchItem::make(Uuid id, std::filesystem::path url, Origin origin,
                                           std::optional<SourceImage> source, std::optional<PictureHandle> thumbnail)
{
    return std::make_shared<BatchItem>(id, std::move(url), origin, std::move(source), std::move(thumbnail));
}

BatchItem::BatchItem(Uuid id, std::filesystem::path url, Origin origin, std::optional<SourceImage> source,
                     std::optional<PictureHandle> thumbnail)
    : id(id), origin(origin), url_(std::move(url))
{
    setSource(std::move(source));
    setThumbnail(std::move(thumbnail));
}

void BatchItem::setUrl(std::filesystem::path url)
{
    store(url_, std::move(url), Field::url);
}

void BatchItem::setSource(std::optional<SourceImage> source)
{
    store(source_, std::move(source), Field::source);
}

void BatchItem::setThumbnail(std::optional<PictureHandle> thumbnail)
{
    store(thumbnail_, std::move(thumbnail), Field::thumbnail);
}

void BatchItem::setAvailability(Availability availability)
{
    store(availability_, std::move(availability), Field::availability);
}

void BatchItem::setAddition(std::string addition)
{
    store(addition_, std::move(addition), Field::addition);
}

void BatchItem::setUnlinkedNudge(std::optional<std::string> nudge)
{
    store(unlinkedNudge_, std::move(nudge), Field::unlinkedNudge);
}

void BatchItem::setStrengthOffset(double offset)
{
    store(strengthOffset_, offset, Field::strengthOffset);
}

void BatchItem::setStrengthTouched(bool touched)
{
    store(strengthTouched_, touched, Field::strengthTouched);
}

void BatchItem::setColourOffset(double offset)
{
    store(colourOffset_, offset, Field::colourOffset);
}

void BatchItem::setColourTouched(bool touched)
{
    store(colourTouched_, touched, Field::colourTouched);
}

void BatchItem::setUseAlternative(bool use)
{
    store(useAlternative_, use, Field::useAlternative);
}

void BatchItem::setPhase(ItemPhase phase)
{
    store(phase_, std::move(phase), Field::phase);
}

void BatchItem::setJobId(std::optional<std::string> jobId)
{
    jobAwaitsCollection = false;
    store(jobId_, std::move(jobId), Field::jobId);
}

void BatchItem::dropForgottenJob()
{
    setJobId(std::nullopt);
    setNote(std::string(jobForgottenNote));
    setPhase(phase::Ready{});
}

void BatchItem::setStartedAt(std::optional<Date> startedAt)
{
    store(startedAt_, startedAt, Field::startedAt);
}

void BatchItem::setResult(std::shared_ptr<const JobOutcome> result)
{
    store(result_, std::move(result), Field::result);
}

void BatchItem::setPreviewImage(std::optional<PictureHandle> preview)
{
    store(previewImage_, std::move(preview), Field::previewImage);
}

void BatchItem::setOriginalPreview(std::optional<PictureHandle> preview)
{
    store(originalPreview_, std::move(preview), Field::originalPreview);
}

void BatchItem::setDevelopedThumbnail(std::optional<PictureHandle> thumbnail)
{
    store(developedThumbnail_, std::move(thumbnail), Field::developedThumbnail);
}

BatchItem::DevelopedCopy BatchItem::DevelopedCopy::counting(Bitmap picture, PictureHandle preview,
                                                            DevelopSettings madeAt)
{
    PictureHandle counted = PictureHandle::seeded(
        picture, PictureRecipe{picture.width(), picture.height(), [picture] { return std::optional(picture); }});
    auto held = std::make_shared<const PictureCache::Pin>(counted.pin());
    return {std::move(picture), std::move(preview), madeAt, std::move(counted), std::move(held)};
}

void BatchItem::setDevelopedCopy(std::optional<DevelopedCopy> copy)
{
    store(developedCopy_, std::move(copy), Field::developedCopy);
}

void BatchItem::setNote(std::optional<std::string> note)
{
    store(note_, std::move(note), Field::note);
}

void BatchItem::setLastError(std::optional<std::string> error)
{
    store(lastError_, std::move(error), Field::lastError);
}

void BatchItem::setExportProgress(std::optional<double> progress)
{
    store(exportProgress_, progress, Field::exportProgress);
}

void BatchItem::setExportWaiting(bool waiting)
{
    store(exportWaiting_, waiting, Field::exportWaiting);
}

void BatchItem::setExportedTo(std::optional<std::filesystem::path> file)
{
    store(exportedTo_, std::move(file), Field::exportedTo);
}

bool BatchItem::canProcess() const
{
    return !result_ && !phase_.isInFlight() && !phase_.is<phase::Restoring>() && !renderFile && !colourOnly &&
           source_.has_value();
}

std::optional<ImageRecord> BatchItem::record() const
{
    if (!original) return std::nullopt;
    ImageRecord record;
    record.id = id;
    record.original = *original;
    record.state = stateOf(*this);
    record.jobId = jobId_;
    record.jobAccount = jobAccount;
    record.addition = addition_;
    record.unlinkedNudge = unlinkedNudge_;
    record.strengthOffset = strengthOffset_;
    record.strengthTouched = strengthTouched_;
    record.colourOffset = colourOffset_;
    record.colourTouched = colourTouched_;
    record.useAlternative = useAlternative_;
    record.renderFile = renderFile;
    record.exports = exports;
    record.sentBack = sentBack;
    if (colourOnly) record.mode = ImageRecord::Mode::colour;
    record.grainBaked = grainBaked;
    record.setPlanVerdict(planVerdict);
    return record;
}

void BatchItem::apply(const ImageRecord& record)
{
    setAddition(record.addition);
    setUnlinkedNudge(record.unlinkedNudge);
    setStrengthOffset(record.strengthOffset);
    setStrengthTouched(record.strengthTouched);
    setColourOffset(record.colourOffset);
    setColourTouched(record.colourTouched);
    setUseAlternative(record.useAlternative);
    renderFile = record.renderFile;
    colourOnly = record.mode == ImageRecord::Mode::colour;
    grainBaked = record.grainBaked;
    planVerdict = record.planVerdict();
    exports = record.exports;
    sentBack = record.sentBack;
    setJobId(record.jobId);
    jobAwaitsCollection = record.state == ImageRecord::State::developing && record.jobId.has_value();
    jobAccount = record.jobAccount;
    original = record.original;
}

std::string BatchItem::effectiveNudge(const std::string& global) const
{
    if (unlinkedNudge_) return *unlinkedNudge_;
    if (!global.empty()) return global + addition_;
    return addition_;
}

void BatchItem::setNudge(const std::string& text, const std::string& global)
{
    if (unlinkedNudge_)
        setUnlinkedNudge(text);
    else if (global.empty())
        setAddition(text);
    else if (beginsWith(text, global))
        setAddition(after(text, global));
    else
        setUnlinkedNudge(text);
}

void BatchItem::relinkNudge(const std::string& global)
{
    if (!unlinkedNudge_) return;
    const std::string text = *unlinkedNudge_;
    setAddition(!global.empty() && beginsWith(text, global) ? after(text, global) : "");
    setUnlinkedNudge(std::nullopt);
}

} // namespace oxel
