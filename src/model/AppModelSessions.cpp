#include "model/AppModel.h"

#include "async/AsyncGate.h"
#include "async/Completion.h"
#include "async/Offload.h"
#include "develop/grade/LookName.h"
#include "library/KeptThumbnail.h"
#include "library/TransferNote.h"

#include <algorithm>
#include <cmath>
#include <latch>

namespace oxel {

namespace fs = std::filesystem;

namespace {

constexpr const char* unreadableBatch = "could not read that batch";
constexpr const char* notRebuilt = "could not rebuild this result from the library";
constexpr const char* thumbnailLost = "a kept thumbnail of the library could not be read again";

// An opened image's thumbnail, and the settings it was developed at when it is its developed one.
struct OpenedThumbnail {
    std::optional<PictureHandle> picture;
    std::optional<DevelopSettings> developedAt;
};

// Each opened image's thumbnail: its kept thumb.jpg when it has a result and the thumbnail is still
// the one noted with its settings, its small copy of the original otherwise or when that fails.
// Decoded on the work pool while the caller waits.
std::vector<OpenedThumbnail> openedThumbnails(const LibraryStore& library, WorkPool& pool, const Uuid& batch,
                                              const std::vector<ImageRecord>& records)
{
    std::vector<OpenedThumbnail> thumbnails(records.size());
    std::latch decoded(std::ptrdiff_t(records.size()));
    for (size_t index = 0; index < records.size(); ++index) {
        const fs::path folder = library.imageFolder(batch, records[index].id);
        const bool hasResult = records[index].hasResult();
        pool.submit(WorkPriority::userInitiated, [&thumbnails, &decoded, index, folder, hasResult] {
            OpenedThumbnail& opened = thumbnails[index];
            const fs::path kept = folder / "thumb.jpg";
            if (hasResult) opened.developedAt = KeptThumbnail::madeAt(kept);
            if (opened.developedAt) opened.picture = keptPicture(kept, thumbnailLost, BatchSaver::thumbPixels);
            if (!opened.picture) {
                opened.developedAt.reset();
                opened.picture = keptPicture(folder / "original.jpg", thumbnailLost, AppModel::originalCopyPixels);
            }
            decoded.count_down();
        });
    }
    decoded.wait();
    return thumbnails;
}

// A batch amount as stored, kept within 0...1; a damaged record's value that is not a number
// counts as full.
double storedAmount(double amount)
{
    return std::isfinite(amount) ? std::clamp(amount, 0.0, 1.0) : 1.0;
}

// One record per image: should a damaged folder hold two with the same id, the first wins.
std::vector<ImageRecord> firstOfEachId(std::vector<ImageRecord> records)
{
    std::set<Uuid> seen;
    std::vector<ImageRecord> kept;
    for (auto& record : records)
        if (seen.insert(record.id).second) kept.push_back(std::move(record));
    return kept;
}

// A child of the restore: one item in its turn, which it gives back when done. It shares the gate,
// so the turn never outlives it.
Task<void> restoreInTurn(Task<void> restore, [[maybe_unused]] std::shared_ptr<AsyncGate> gate, AsyncGate::Turn turn,
                         Completion<bool> done)
{
    co_await std::move(restore);
    turn.release();
    done.complete(true);
}

} // namespace

void AppModel::openBatch(const Uuid& id)
{
    if (batch_ && batch_->id == id) return;
    launchedByHandoff = false;
    // What the empty screen said (a dropped file that could not be read) is not the opened batch's.
    if (!items_.empty() || batch_)
        newBatch();
    else
        setStatusLine(std::nullopt);
    auto loaded = saving_.load(id);
    if (!loaded) {
        setStatusLine(unreadableBatch);
        return;
    }
    const uint64_t generation = nextBatchGeneration();
    auto records = firstOfEachId(std::move(loaded->images));
    unreadableImages_ = {loaded->unreadable.begin(), loaded->unreadable.end()};
    const auto thumbnails = openedThumbnails(services_.library, services_.pool, id, records);

    restoringBatch_ = true;
    const BatchRecord& record = loaded->record;
    setBatch(record);
    setGlobalNudge(record.nudge);
    // The stored look is taken as it is: nothing is developed yet, so no preview is asked for.
    publish(globalStrength_, storedAmount(record.strength), Field::globalStrength);
    publish(globalColour_, storedAmount(record.colour), Field::globalColour);
    publish(alternativesOn_, record.alternativesOn, Field::alternativesOn);
    std::vector<std::shared_ptr<BatchItem>> items;
    bool anyKept = false;
    for (size_t index = 0; index < records.size(); ++index) {
        const ImageRecord& image = records[index];
        auto item =
            BatchItem::make(image.id, image.original.path, image.original.handoff ? Origin::handoff : Origin::opened,
                            std::nullopt, thumbnails[index].picture);
        item->apply(image);
        // A kept thumbnail stands in for the item's picture only while it shows the item's settings.
        const auto& developedAt = thumbnails[index].developedAt;
        if (developedAt && *developedAt == developSettings(*item)) {
            item->setDevelopedThumbnail(thumbnails[index].picture);
            previews_.thumbnailKeptAt(item, *developedAt);
        }
        item->setPhase(image.hasResult() ? ItemPhase(phase::Restoring{}) : ItemPhase(phase::Ready{}));
        anyKept = anyKept || item->renderFile || item->colourOnly;
        items.push_back(std::move(item));
    }
    setItems(items);
    restoringBatch_ = false;
    setLastBatchSource(std::nullopt);
    setScreen(anyKept ? Screen::results : Screen::input);

    std::map<Uuid, ImageRecord> byId;
    for (auto& image : records) byId.emplace(image.id, std::move(image));
    tasks_->spawn(restoreItems(std::move(items), id, std::move(byId), generation));
}

Task<void> AppModel::restoreItems(std::vector<std::shared_ptr<BatchItem>> items, Uuid batchId,
                                  std::map<Uuid, ImageRecord> records, uint64_t generation)
{
    auto gate = std::make_shared<AsyncGate>(mostRestoresAtOnce);
    std::vector<Completion<bool>> children;
    for (auto& item : items) {
        auto record = records.find(item->id);
        if (record == records.end()) continue;
        auto turn = co_await gate->enter();
        // Another batch was opened meanwhile: the rest would change nothing.
        if (generation != batchGeneration_) break;
        children.emplace_back();
        tasks_->spawn(restoreInTurn(restoreItem(item, record->second, batchId, generation), gate, std::move(turn),
                                    children.back()));
    }
    for (auto& child : children) co_await child.value();
    if (!batch_ || batch_->id != batchId || generation != batchGeneration_) co_return;
    saveNow();
    nameBatchIfReady();
}

bool AppModel::restoresInto(const std::shared_ptr<BatchItem>& item, const Uuid& batchId, uint64_t generation) const
{
    return batch_ && batch_->id == batchId && generation == batchGeneration_ && holds(item);
}

Task<void> AppModel::restoreItem(std::shared_ptr<BatchItem> item, ImageRecord record, Uuid batchId, uint64_t generation)
{
    const TransferLimits limits = runner_.limits;
    const DevelopSettings settings = developSettings(*item);
    // Each piece of work is named before it is awaited: a capturing lambda made inside the await
    // expression itself is destroyed twice by some compilers.
    auto checkWork = [ref = record.original, sentBack = record.sentBack, cacheFile = originalCacheURL(record.id),
                      places = originalPlaces()] { return OriginalCheck::of(ref, sentBack, cacheFile, places); };
    auto check = co_await offload(services_.pool, WorkPriority::userInitiated, std::move(checkWork));
    if (!restoresInto(item, batchId, generation)) co_return;
    applyRestored(*item, record, std::move(check));

    if (record.hasResult()) {
        if (!item->source()) {
            item->setPhase(phase::Done{});
            co_return;
        }
        auto rebuildWork = [record, source = *item->source(),
                            folder = services_.library.imageFolder(batchId, record.id), limits,
                            settings] { return renderFromLibrary(record, source, folder, limits, settings); };
        auto rebuilt = co_await offload(services_.pool, WorkPriority::userInitiated, std::move(rebuildWork));
        if (!restoresInto(item, batchId, generation)) co_return;
        const bool developed = rebuilt.has_value();
        applyRebuilt(*item, std::move(rebuilt));
        // Its own picture, at the settings it has now, replaces the kept thumbnail.
        if (developed) previews_.follow(item);
        co_return;
    }

    if (!item->source()) {
        if (record.state == ImageRecord::State::failed) item->setPhase(phase::Ready{});
        dropJobOfUnknownAccount(item);
        co_return;
    }
    auto thumbnailWork = [source = *item->source()]() -> std::optional<PictureHandle> {
        try {
            auto picture = source.thumbnailPicture(BatchSaver::thumbPixels);
            if (picture.pin()) return picture;
        } catch (const std::exception&) {}
        return std::nullopt;
    };
    auto thumbnail = co_await offload(services_.pool, WorkPriority::utility, std::move(thumbnailWork));
    if (!restoresInto(item, batchId, generation)) co_return;
    if (thumbnail) item->setThumbnail(std::move(thumbnail));
    resumeJobs(item, settings.strength);
    if (record.state == ImageRecord::State::failed) item->setPhase(phase::Ready{});
}

void AppModel::applyRestored(BatchItem& item, const ImageRecord& record, OriginalCheck check)
{
    if (auto* found = std::get_if<OriginalCheck::Found>(&check.answer)) {
        item.setSource(std::move(found->source));
        item.setUrl(found->url);
        item.original = found->ref;
        item.setAvailability(Availability::present());
        // A renewed bookmark, a new path or stamp is written back at the next save.
        if (found->ref != record.original) saving_.mark(item);
    } else if (auto* offline = std::get_if<OriginalCheck::Offline>(&check.answer)) {
        // Developed on the kept original; only send back waits for the file to be found.
        if (offline->kept) item.setSource(std::move(offline->kept));
        item.setAvailability(Availability::offline(offline->text));
    } else if (auto* changed = std::get_if<OriginalCheck::Changed>(&check.answer)) {
        item.setAvailability(Availability::changed(changed->text));
    }
}

void AppModel::applyRebuilt(BatchItem& item, std::optional<RebuiltResult> rebuilt)
{
    if (!rebuilt) {
        item.setPhase(phase::Done{});
        item.setNote(notRebuilt);
        return;
    }
    const auto& outcome = *rebuilt->outcome;
    item.setResult(rebuilt->outcome);
    // Kept from now on, so that the next reopen need not plan before showing the result.
    if (!outcome.colourOnly) item.planVerdict = outcome.previewPlan.verdict();
    item.setPreviewImage(rebuilt->preview);
    item.setOriginalPreview(rebuilt->original.isNull() ? std::nullopt : std::optional(rebuilt->original));
    item.setPhase(phase::Done{});
    const auto note = transferNote(outcome);
    if (note || outcome.colourOnly) item.setNote(note);
}

void AppModel::resumeJobs(const std::shared_ptr<BatchItem>& item, double strength)
{
    if (dropJobOfUnknownAccount(item)) return;
    if (!item->jobAwaitsCollection || !item->jobId() || !item->source() || item->phase().isInFlight()) return;
    const auto userId = accountId();
    // Another account could not see the job, and polling it would fail it for its own account.
    if (!userId || (item->jobAccount && *item->jobAccount != *userId)) return;
    runner_.resume(item, *item->jobId(), *userId, strength, item->effectiveNudge(globalNudge_));
}

void AppModel::accountUnknown(const std::string& userId)
{
    if (userId.empty()) return;
    settings_.addUnknownAccount(userId);
    auth_.forgetUnknownAccount(userId);
    for (const auto& item : items_) dropJobOfUnknownAccount(item);
}

bool AppModel::dropJobOfUnknownAccount(const std::shared_ptr<BatchItem>& item)
{
    if (!item->jobAwaitsCollection || !item->jobId() || !item->jobAccount || item->phase().isInFlight()) return false;
    if (!settings_.isUnknownAccount(*item->jobAccount)) return false;
    item->dropForgottenJob();
    saving_.mark(*item);
    saveNow();
    return true;
}

void AppModel::accountChanged()
{
    const auto userId = accountId();
    // A backend that numbers its accounts afresh may hand the id of one it forgot to a new one.
    if (userId) settings_.removeUnknownAccount(*userId);
    if (runner_.userId() != userId.value_or("")) {
        // Pictures held for room are shots the leaving account chose: no other spends them.
        forgetRoomWait();
        runner_.accountLeft();
        if (userId) runner_.accountArrived(*userId);
    }
    for (const auto& item : items_) resumeJobs(item, strength(*item));
}

void AppModel::openMostRecent()
{
    if (recent_.empty()) return;
    openBatch(recent_.front().record.id);
}

void AppModel::renameBatch(const std::string& name)
{
    const std::string trimmed = BatchRecord::fittedName(trimmedWhitespace(name));
    if (!batch_ || trimmed.empty()) return;
    auto record = *batch_;
    record.name = trimmed;
    record.nameSource = BatchRecord::NameSource::person;
    setBatch(record);
    saving_.saveBatch(record);
    tasks_->spawn(refreshRecent());
}

void AppModel::renameBatch(const Uuid& id, const std::string& name)
{
    if (batch_ && batch_->id == id) {
        renameBatch(name);
        return;
    }
    const std::string trimmed = BatchRecord::fittedName(trimmedWhitespace(name));
    if (trimmed.empty()) return;
    auto loaded = saving_.load(id);
    if (!loaded) return;
    loaded->record.name = trimmed;
    loaded->record.nameSource = BatchRecord::NameSource::person;
    saving_.saveBatch(loaded->record);
    tasks_->spawn(refreshRecent());
}

void AppModel::trashBatch(const Uuid& id)
{
    photographerActs();
    if (batch_ && batch_->id == id) newBatch();
    if (services_.library.deleteBatch(id))
        setStatusLine("could not move that batch to the trash");
    else
        saving_.forgetBatch(id);
    tasks_->spawn(refreshRecent());
}

void AppModel::trashBatch(const BatchSummary& listed)
{
    if (!listed.copy) return trashBatch(listed.id());
    photographerActs();
    if (services_.library.deleteBatchFolder(listed.folder)) setStatusLine("could not move that batch to the trash");
    tasks_->spawn(refreshRecent());
}

} // namespace oxel
