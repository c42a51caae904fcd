#pragma once

#include "async/Debounce.h"
#include "async/Signal.h"
#include "library/BatchItem.h"
#include "library/JobRunner.h"
#include "library/LibraryStore.h"
#include "platform/Uuid.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <variant>
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
// as `unsaved`. The saver keeps each record it handed to the disk until the disk took it, so a
// batch left before its records were written keeps them: those refused are written again as they
// were until the disk takes them, and a batch opened again starts from them rather than from what
// the disk holds. Main thread only.
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
    // Written now and kept until they are on disk: a record of the open batch's items, or any
    // batch's own.
    void saveImage(const ImageRecord& record);
    void saveBatch(const BatchRecord& record);
    // Changes the disk refused, of the open batch or of one left since, not written yet.
    bool unsaved() const;
    // A batch as the library holds it, its records not on disk yet taken in place of the disk's:
    // every image its latest batch record lists is read.
    std::optional<LibraryStore::LoadedBatch> load(const Uuid& batch) const;
    // The batch went to the Trash: nothing of it is written again.
    void forgetBatch(const Uuid& batch);
    // A newer record of the item reached the disk another way: what was refused of it is not
    // written again.
    void forgetUnwritten(const Uuid& batch, const Uuid& item);

    // What waits for the next save.
    const std::set<Uuid>& dirty() const { return dirty_; }
    const std::set<Uuid>& thumbDirty() const { return thumbDirty_; }
    bool batchDirty() const { return batchDirty_; }

private:
    bool takesMarks() const;
    std::shared_ptr<BatchItem> find(const Uuid& id) const;
    void writeThumbnails();
    // An item's record or the batch's own, as it was handed to the disk.
    using Record = std::variant<ImageRecord, BatchRecord>;
    struct Unwritten {
        Record record;
        uint64_t write = 0;   // which write handed it over
        bool refused = false; // the disk refused it, or the one it replaced
    };
    // Hands `record` of `batch` to the disk, kept until the disk took it.
    void write(const Uuid& batch, Record record);
    // The loaded batch's image records not on disk yet in place of those the disk holds.
    void takeUpUnwritten(LibraryStore::LoadedBatch& loaded, const std::map<Uuid, Unwritten>& records) const;
    void settle(const Uuid& batch, const Uuid& id, uint64_t write, bool refused);
    void retryRefused();
    void unsavedMayHaveChanged(bool before);

    Environment environment_;
    std::vector<std::shared_ptr<BatchItem>> items_;
    std::vector<Connection> steering_;
    std::set<Uuid> dirty_;
    std::set<Uuid> thumbDirty_;
    std::set<Uuid> storing_;
    // By batch, then by record (an item's, or the batch's own by the batch's id): each record handed
    // to the disk and not taken yet.
    std::map<Uuid, std::map<Uuid, Unwritten>> unwritten_;
    uint64_t writes_ = 0;
    bool batchDirty_ = false;
    Debounce saveDebounce_{saveDelay};
    Debounce thumbnailWrite_{thumbnailWriteDelay};
    Debounce retry_{retryDelay};
    // Answers from the library's queue that come after the saver went find it gone.
    std::shared_ptr<int> life_ = std::make_shared<int>();
};

} // namespace oxel
