#include "model/BatchSaver.h"

#include <algorithm>
#include <utility>

namespace oxel {
namespace {

// The item fields the photographer steers; each is part of the item's record.
bool isSteering(BatchItem::Field field)
{
    using Field = BatchItem::Field;
    switch (field) {
    case Field::addition:
    case Field::unlinkedNudge:
    case Field::strengthOffset:
    case Field::strengthTouched:
    case Field::colourOffset:
    case Field::colourTouched:
    case Field::useAlternative: return true;
    default: return false;
    }
}

} // namespace

BatchSaver::BatchSaver(Environment environment) : environment_(environment)
{}

void BatchSaver::follow(std::vector<std::shared_ptr<BatchItem>> items)
{
    steering_.clear();
    for (const auto& item : items)
        steering_.push_back(item->changed.connect([this, item = item.get()](BatchItem::Field field) {
            if (isSteering(field)) mark(*item);
        }));
    items_ = std::move(items);
}

bool BatchSaver::takesMarks() const
{
    return storedBatch() && !restoring();
}

void BatchSaver::markBatch()
{
    if (!takesMarks()) return;
    batchDirty_ = true;
    scheduleSave();
}

void BatchSaver::mark(const BatchItem& item)
{
    if (!takesMarks()) return;
    dirty_.insert(item.id);
    scheduleSave();
}

void BatchSaver::markThumbnail(const BatchItem& item)
{
    if (!storedBatch()) return;
    thumbDirty_.insert(item.id);
    scheduleSave();
    // Written while the preview is still at hand, so quitting finds few left; not held back by a
    // burst of other changes, as the save is.
    if (!thumbnailWrite_.pending()) thumbnailWrite_.schedule([this] { writeThumbnails(); });
}

void BatchSaver::forget(const Uuid& item)
{
    dirty_.erase(item);
    thumbDirty_.erase(item);
    if (const auto batch = storedBatch()) forgetUnwritten(*batch, item);
}

void BatchSaver::forgetUnwritten(const Uuid& batch, const Uuid& item)
{
    const auto held = unwritten_.find(batch);
    if (held == unwritten_.end()) return;
    const bool before = unsaved();
    held->second.erase(item);
    if (held->second.empty()) unwritten_.erase(held);
    unsavedMayHaveChanged(before);
}

void BatchSaver::forgetBatch(const Uuid& batch)
{
    const bool before = unsaved();
    unwritten_.erase(batch);
    unsavedMayHaveChanged(before);
}

std::shared_ptr<BatchItem> BatchSaver::find(const Uuid& id) const
{
    for (const auto& item : items_)
        if (item->id == id) return item;
    return nullptr;
}

void BatchSaver::writeThumbnails()
{
    thumbnailWrite_.cancel();
    auto thumbDirty = std::exchange(thumbDirty_, {});
    const auto batch = storedBatch();
    if (!batch) return;
    std::vector<LibraryStore::PictureFile> files;
    for (const auto& item : items_) {
        const auto& copy = item->developedCopy();
        if (!thumbDirty.contains(item->id) || !copy) continue;
        // The tile's picture, noted with the settings it was made at.
        files.push_back(
            {copy->counted, environment_.library->imageFolder(*batch, item->id) / "thumb.jpg", copy->madeAt});
    }
    environment_.library->writeJPEGs(std::move(files), thumbPixels, thumbQuality);
}

void BatchSaver::scheduleSave()
{
    saveDebounce_.schedule([this] { saveNow(); });
}

void BatchSaver::saveNow()
{
    beforeSave();
    saveDebounce_.cancel();
    auto dirty = std::exchange(dirty_, {});
    // Any record written rewrites the batch's too, which then counts as saved.
    const bool writeRecord = std::exchange(batchDirty_, false) || !dirty.empty();
    const auto batch = storedBatch();
    if (!batch) {
        thumbDirty_.clear();
        thumbnailWrite_.cancel();
        return;
    }
    for (const auto& id : dirty) {
        // A result being stored writes its record itself, once its files are there.
        if (storing_.contains(id)) {
            dirty_.insert(id);
            continue;
        }
        if (auto item = find(id))
            if (auto record = item->record()) saveImage(*record);
    }
    writeThumbnails();
    if (writeRecord) saveBatchRecord();
}

void BatchSaver::saveImage(const ImageRecord& record)
{
    if (const auto batch = storedBatch()) write(*batch, record);
}

void BatchSaver::saveBatch(const BatchRecord& record)
{
    write(record.id, record);
}

void BatchSaver::write(const Uuid& batch, Record record)
{
    const Uuid id = std::visit([](const auto& held) { return held.id; }, record);
    const uint64_t write = ++writes_;
    auto told = [this, life = std::weak_ptr(life_), batch, id, write](std::optional<std::string> failure) {
        if (life.lock()) settle(batch, id, write, failure.has_value());
    };
    if (const auto* image = std::get_if<ImageRecord>(&record))
        environment_.library->saveImage(*image, batch, std::move(told));
    else
        environment_.library->saveBatch(std::get<BatchRecord>(record), std::move(told));
    Unwritten& held = unwritten_[batch][id];
    held.record = std::move(record);
    held.write = write;
}

void BatchSaver::settle(const Uuid& batch, const Uuid& id, uint64_t write, bool refused)
{
    const auto records = unwritten_.find(batch);
    if (records == unwritten_.end()) return;
    const auto held = records->second.find(id);
    // A later write of the record decides what becomes of it.
    if (held == records->second.end() || held->second.write != write) return;
    const bool before = unsaved();
    if (!refused) {
        records->second.erase(held);
        if (records->second.empty()) unwritten_.erase(records);
        return unsavedMayHaveChanged(before);
    }
    held->second.refused = true;
    if (storedBatch() == batch && id == batch)
        batchDirty_ = true;
    else if (storedBatch() == batch)
        dirty_.insert(id);
    if (!retry_.pending()) retry_.schedule([this] { retryRefused(); });
    unsavedMayHaveChanged(before);
}

void BatchSaver::retryRefused()
{
    const auto open = storedBatch();
    const bool before = unsaved();
    std::vector<std::pair<Uuid, Record>> again;
    for (auto& [batch, records] : unwritten_) {
        // The open batch's records are written as they are now; one of an item gone from it is not.
        if (batch == open)
            std::erase_if(records, [&](const auto& held) { return held.first != batch && !find(held.first); });
        for (const auto& [id, held] : records) {
            if (!held.refused) continue;
            if (batch != open)
                again.emplace_back(batch, held.record);
            else if (id == batch)
                batchDirty_ = true;
            else
                dirty_.insert(id);
        }
    }
    std::erase_if(unwritten_, [](const auto& records) { return records.second.empty(); });
    unsavedMayHaveChanged(before);
    for (auto& [batch, record] : again) write(batch, std::move(record));
    saveNow();
}

bool BatchSaver::unsaved() const
{
    for (const auto& [batch, records] : unwritten_)
        for (const auto& [id, held] : records)
            if (held.refused) return true;
    return false;
}

std::optional<LibraryStore::LoadedBatch> BatchSaver::load(const Uuid& batch) const
{
    const auto records = unwritten_.find(batch);
    if (records == unwritten_.end()) return environment_.library->load(batch);
    std::optional<BatchRecord> kept;
    if (const auto own = records->second.find(batch); own != records->second.end())
        kept = std::get<BatchRecord>(own->second.record);
    auto loaded = environment_.library->load(batch, std::move(kept));
    if (loaded) takeUpUnwritten(*loaded, records->second);
    return loaded;
}

void BatchSaver::takeUpUnwritten(LibraryStore::LoadedBatch& loaded, const std::map<Uuid, Unwritten>& records) const
{
    for (const auto& [id, held] : records) {
        const auto* image = std::get_if<ImageRecord>(&held.record);
        if (!image) continue;
        const auto stored = std::find_if(loaded.images.begin(), loaded.images.end(),
                                         [&](const ImageRecord& one) { return one.id == id; });
        if (stored != loaded.images.end())
            *stored = *image;
        else
            loaded.images.push_back(*image);
        std::erase(loaded.unreadable, id);
    }
    // In the batch's order, as loaded; an image the batch no longer lists (removed meanwhile) is left out.
    const auto& order = loaded.record.images;
    const auto listed = [&](const Uuid& id) { return std::find(order.begin(), order.end(), id) != order.end(); };
    std::erase_if(loaded.images, [&](const ImageRecord& image) { return !listed(image.id); });
    const auto place = [&](const ImageRecord& image) { return std::find(order.begin(), order.end(), image.id); };
    std::stable_sort(loaded.images.begin(), loaded.images.end(),
                     [&](const ImageRecord& one, const ImageRecord& other) { return place(one) < place(other); });
}

void BatchSaver::unsavedMayHaveChanged(bool before)
{
    if (unsaved() != before && unsavedChanged) unsavedChanged();
}

} // namespace oxel
