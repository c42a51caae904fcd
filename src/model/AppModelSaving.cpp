#include "model/AppModel.h"

#include "library/CaptureSpan.h"
#include "ondevice/CaptureSpanLabel.h"
#include "platform/Diagnostics.h"

#include <algorithm>

namespace oxel {

void AppModel::installSavingCallbacks()
{
    // The saver is a member, so its callbacks cannot outlive the model.
    saving_.storedBatch = [this]() -> std::optional<Uuid> {
        if (!batch_) return std::nullopt;
        return batch_->id;
    };
    saving_.restoring = [this] { return restoringBatch_; };
    saving_.beforeSave = [this] { standingDebounce_.flush(); };
    saving_.saveBatchRecord = [this] { writeBatchRecord(); };
    saving_.unsavedChanged = [this] {
        if (saving_.unsaved())
            setStatusLine(unsavedChangesStatus());
        else if (statusLine_ == changesUnsavedStatus || statusLine_ == folderReplacedStatus)
            setStatusLine(std::nullopt);
        else
            changed.emit(Field::statusLine); // the empty screen says it apart from the line
    };
}

void AppModel::writeBatchRecord()
{
    auto record = *batch_;
    record.updatedAt = services_.clock.now();
    record.nudge = globalNudge_;
    record.strength = globalStrength_;
    record.colour = globalColour_;
    record.alternativesOn = alternativesOn_;
    record.images.clear();
    for (const auto& item : items_) record.images.push_back(item->id);
    // Images whose records could not be read stay in the batch, so their folders never fall out of it.
    const auto held = [this](const Uuid& id) {
        return std::any_of(items_.begin(), items_.end(), [&](const auto& item) { return item->id == id; });
    };
    for (const auto& id : batch_->images)
        if (unreadableImages_.contains(id) && !held(id)) record.images.push_back(id);
    setBatch(record);
    saving_.saveBatch(record);
}

std::optional<std::string> AppModel::accountId() const
{
    if (!auth_.state().hasAccount()) return std::nullopt;
    return auth_.state().userId();
}

void AppModel::ensureBatchStored()
{
    if (batch_) return;
    const Date now = services_.clock.now();
    std::vector<Date> dates;
    for (const auto& item : items_)
        if (item->original && item->original->captured) dates.push_back(*item->original->captured);
    BatchRecord record;
    record.id = Uuid::random();
    record.captured = CaptureSpan::of(dates);
    record.name = captureSpanLabel(record.captured, now);
    record.nameSource = BatchRecord::NameSource::date;
    record.createdAt = record.updatedAt = now;
    record.account = accountId();
    record.nudge = globalNudge_;
    record.strength = globalStrength_;
    record.colour = globalColour_;
    record.alternativesOn = alternativesOn_;
    for (const auto& item : items_) record.images.push_back(item->id);
    setBatch(record);
    for (const auto& item : items_) saveImported(*item, record.id);
    saving_.saveBatch(record);
    tasks_->spawn(refreshRecent());
}

Task<bool> AppModel::keep(std::shared_ptr<BatchItem> item)
{
    if (!batch_ || !holds(item) || !item->result() || !item->keep || saving_.isStoring(item->id)) co_return false;
    const Uuid batchId = batch_->id;
    const auto folder = services_.library.imageFolder(batchId, item->id);
    if (item->result()->colourOnly) item->colourOnly = true;
    auto record = item->record();
    if (!record) co_return false;
    // The record says "done" only in the same write as the files it names, and after them.
    std::vector<LibraryStore::FileBytes> files;
    if (!item->colourOnly) {
        record->renderFile = "render." + item->keep->renderExtension;
        files.push_back({folder / *record->renderFile, item->keep->render});
    }
    record->state = ImageRecord::State::done;
    files.push_back({folder / "analysis.json", item->keep->analysis});
    auto recordBytes = record->encode();
    if (!recordBytes) co_return false;
    files.push_back({folder / "image.json", std::vector<uint8_t>(recordBytes->begin(), recordBytes->end())});
    saving_.beginStoring(item->id);
    auto written = services_.library.writeInOrder(std::move(files));
    // The thumbnail and the batch record go after them; the item's own record waits for them.
    saveNow();
    const auto failure = co_await written.value();
    saving_.endStoring(item->id);
    // The record on disk now is newer than any the disk refused before.
    if (!failure) saving_.forgetUnwritten(batchId, item->id);
    if (!batch_ || batch_->id != batchId || !holds(item)) co_return !failure;
    if (failure) {
        item->setNote(unsavedNote);
        setStatusLine(services_.library.folderReplaced() ? folderReplacedStatus : unsavedStatus);
        co_return false;
    }
    item->keep.reset();
    item->renderFile = record->renderFile;
    if (item->note() == unsavedNote) item->setNote(std::nullopt);
    if ((statusLine_ == unsavedStatus || statusLine_ == folderReplacedStatus) &&
        std::none_of(items_.begin(), items_.end(), [](const auto& other) { return other->keep && other->result(); }))
        setStatusLine(std::nullopt);
    // What changed while the files were written goes with the next save.
    if (saving_.marked(item->id)) saving_.scheduleSave();
    co_return true;
}

Task<JobRunner::Kept> AppModel::keepDelivered(std::shared_ptr<BatchItem> item)
{
    if (!holds(item)) co_return JobRunner::Kept::dropped;
    const bool stored = co_await keep(item);
    if (stored || !item->keep) co_return JobRunner::Kept::stored;
    co_return holds(item) ? JobRunner::Kept::unsaved : JobRunner::Kept::dropped;
}

Task<bool> AppModel::libraryTakesJob(std::shared_ptr<BatchItem> item)
{
    if (!batch_ || !holds(item)) co_return true;
    // The picture goes first, before those waiting their turn.
    std::vector<std::shared_ptr<BatchItem>> unsent{item};
    for (const auto& other : items_)
        if (other != item && other->phase().is<phase::Queued>()) unsent.push_back(other);
    if (!libraryTakes(unsent)) co_return false;
    // A record being stored with its result is written by that store.
    if (saving_.isStoring(item->id)) co_return true;
    auto record = item->record();
    if (!record) co_return true;
    auto bytes = record->encode();
    if (!bytes) co_return true;
    std::vector<LibraryStore::FileBytes> files;
    files.push_back({services_.library.imageFolder(batch_->id, item->id) / "image.json",
                     std::vector<uint8_t>(bytes->begin(), bytes->end())});
    auto written = services_.library.writeInOrder(std::move(files));
    const auto failure = co_await written.value();
    if (!failure) co_return true;
    diagnose("library", "not sent: " + *failure);
    setStatusLine(libraryUnwritable);
    co_return false;
}

std::optional<std::pair<int64_t, int64_t>> AppModel::originalSize(const BatchItem& item)
{
    if (item.source()) return std::pair(item.source()->pixelWidth, item.source()->pixelHeight);
    if (item.original && item.original->pixels.size() == 2)
        return std::pair(item.original->pixels[0], item.original->pixels[1]);
    return std::nullopt;
}

bool AppModel::mostlyPortrait() const
{
    int portrait = 0;
    int landscape = 0;
    for (const auto& item : items_) {
        auto size = originalSize(*item);
        if (!size && item->thumbnail()) size = {item->thumbnail()->width(), item->thumbnail()->height()};
        if (!size) continue;
        ++(size->first < size->second ? portrait : landscape);
    }
    return portrait > landscape;
}

void AppModel::stepLightbox(int step)
{
    if (!lightbox_) return;
    auto at = std::find_if(items_.begin(), items_.end(), [&](const auto& item) { return item->id == lightbox_->id; });
    if (at == items_.end()) return;
    const auto count = int64_t(items_.size());
    const auto index = ((at - items_.begin()) + step % count + count) % count;
    setLightbox(items_[size_t(index)]);
}

} // namespace oxel
