#pragma once

#include "async/Debounce.h"
#include "async/Signal.h"
#include "library/BatchItem.h"
#include "library/JobRunner.h"
#include "library/LibraryStore.h"
#include "platform/Uuid.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace oxel {

// What of the open batch goes to the library, and when. It keeps three kinds of marks: items whose
// records changed, the batch's own record, and items whose thumbnails are to be written again from
// their previews. Marks gather until changes have rested for `saveDelay` and then go in one save,
// which writes the marked items' records, the marked thumbnails and, when anything of the batch
// changed, the batch record. A marked thumbnail goes `thumbnailWriteDelay` after its mark, with
// those marked meanwhile, or with the next save if that comes first. `saveNow` saves at once.
//
// The saver follows the items it is given: a change to the photographer's steering of one (its
// nudge, strength, colour or look) marks it, so no edit depends on its caller remembering the
// save. What else of an item is stored (its original's reference, its exports, how far its job
// got) is marked by the flow that changes it. Record marks count only while the batch is stored
// and not being restored; an item whose delivered result is being stored keeps its mark until its
// files are there, when its owner writes its record. The owner says which batch is stored, whether
// it is being restored, what runs before each save, and writes the batch record.
//
// A record the disk refuses (full, read-only) keeps its mark and is written again `retryDelay`
// later, as a delivered result is, and again until the disk takes it; meanwhile the batch counts
// as `unsaved`. Main thread only.
class BatchSaver {
public:
    struct Environment {
        LibraryStore* library;
    };

    static constexpr std::chrono::milliseconds saveDelay{500};
    static constexpr std::chrono::milliseconds thumbnailWriteDelay{100};
    static constexpr int thumbPixels = 1024;
    static constexpr double thumbQuality = 0.82;
    static constexpr auto retryDelay = JobRunner::keepRetry;

    explicit BatchSaver(Environment environment);
    BatchSaver(const BatchSaver&) = delete;
    BatchSaver& operator=(const BatchSaver&) = delete;

    std::function<std::optional<Uuid>()> storedBatch; // the open batch once it is in the library
    std::function<bool()> restoring;                  // the open batch's look is being put back
    std::function<void()> beforeSave;                 // runs first in every save
    std::function<void()> saveBatchRecord;            // writes the batch's own record
    std::function<void()> unsavedChanged;             // `unsaved()` turned

    // The items of the open batch, in order; the saver hears their steering from now on.
    void follow(std::vector<std::shared_ptr<BatchItem>> items);
    void markBatch();
    void mark(const BatchItem& item);
    void markThumbnail(const BatchItem& item);
    // The item left the batch: nothing of it is written any more.
    void forget(const Uuid& item);
    bool marked(const Uuid& item) const { return dirty_.contains(item); }

    // An item's delivered result is being written; its record waits for it.
    void beginStoring(const Uuid& item) { storing_.insert(item); }
    void endStoring(const Uuid& item) { storing_.erase(item); }
    bool isStoring(const Uuid& item) const { return storing_.contains(item); }

    void scheduleSave();
    void saveNow();
    // The open batch's records, written now and kept marked until they are on disk.
    void saveImage(const ImageRecord& record);
    void saveBatch(const BatchRecord& record);
    // Changes of the open batch the disk refused, not written yet.
    bool unsaved() const { return !unsaved_.empty(); }
    // Another batch is open: what the disk refused of the one before is no longer kept.
    void dropUnsaved();

    // What waits for the next save.
    const std::set<Uuid>& dirty() const { return dirty_; }
    const std::set<Uuid>& thumbDirty() const { return thumbDirty_; }
    bool batchDirty() const { return batchDirty_; }

private:
    bool takesMarks() const;
    std::shared_ptr<BatchItem> find(const Uuid& id) const;
    void writeThumbnails();
    // Keeps the record of `written` (an item's, or the batch's own) marked when the disk refused it.
    LibraryStore::Written told(const Uuid& batch, const Uuid& written);
    void settle(const Uuid& batch, const Uuid& written, bool refused);
    void setUnsaved(std::set<Uuid> unsaved);

    Environment environment_;
    std::vector<std::shared_ptr<BatchItem>> items_;
    std::vector<Connection> steering_;
    std::set<Uuid> dirty_;
    std::set<Uuid> thumbDirty_;
    std::set<Uuid> storing_;
    std::set<Uuid> unsaved_; // items, and the batch by its own id, whose last write was refused
    bool batchDirty_ = false;
    Debounce saveDebounce_{saveDelay};
    Debounce thumbnailWrite_{thumbnailWriteDelay};
    Debounce retry_{retryDelay};
    // Answers from the library's queue that come after the saver went find it gone.
    std::shared_ptr<int> life_ = std::make_shared<int>();
};

} // namespace oxel
