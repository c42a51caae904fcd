#include "model/BatchSaver.h"

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
    auto unsaved = unsaved_;
    unsaved.erase(item);
    setUnsaved(std::move(unsaved));
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
    for (const auto& item : items_)
        if (thumbDirty.contains(item->id) && item->previewImage())
            files.push_back({*item->previewImage(), environment_.library->imageFolder(*batch, item->id) / "thumb.jpg"});
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
    retry_.cancel();
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
    const auto batch = storedBatch();
    if (batch) environment_.library->saveImage(record, *batch, told(*batch, record.id));
}

void BatchSaver::saveBatch(const BatchRecord& record)
{
    environment_.library->saveBatch(record, told(record.id, record.id));
}

LibraryStore::Written BatchSaver::told(const Uuid& batch, const Uuid& written)
{
    return [this, life = std::weak_ptr(life_), batch, written](std::optional<std::string> failure) {
        if (life.lock()) settle(batch, written, failure.has_value());
    };
}

void BatchSaver::settle(const Uuid& batch, const Uuid& written, bool refused)
{
    // A write for a batch no longer open, or an item no longer in it, has nothing left to keep it.
    if (storedBatch() != batch || (written != batch && !find(written))) return;
    auto unsaved = unsaved_;
    if (!refused) {
        unsaved.erase(written);
        return setUnsaved(std::move(unsaved));
    }
    unsaved.insert(written);
    if (written == batch)
        batchDirty_ = true;
    else
        dirty_.insert(written);
    if (!retry_.pending()) retry_.schedule([this] { saveNow(); });
    setUnsaved(std::move(unsaved));
}

void BatchSaver::dropUnsaved()
{
    retry_.cancel();
    setUnsaved({});
}

void BatchSaver::setUnsaved(std::set<Uuid> unsaved)
{
    const bool before = this->unsaved();
    unsaved_ = std::move(unsaved);
    if (this->unsaved() != before && unsavedChanged) unsavedChanged();
}

} // namespace oxel
