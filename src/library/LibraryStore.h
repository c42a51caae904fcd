#pragma once

#include "async/Completion.h"
#include "async/SerialQueue.h"
#include "async/TimeSource.h"
#include "develop/DevelopSettings.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureHandle.h"
#include "library/BatchRecord.h"
#include "library/BatchSummary.h"
#include "library/FolderIdentity.h"
#include "library/ImageRecord.h"
#include "library/LibraryFolder.h"
#include "platform/Uuid.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The library on disk: one folder per batch under `root`, holding batch.json, and per image
// image.json, small JPEGs and the kept render and analysis. Writes return at once and run one at
// a time, in order, on the store's own queue; reads and the Trash move first wait for the writes
// already queued, so a list taken just after a save sees it. Nothing is cached: every read goes
// to the disk. No file of the library, however damaged or planted, makes the store read, write
// or trash anything outside its root.
class LibraryStore {
public:
    // Moves an item to the Trash; the reason when it could not.
    using Trash = std::function<std::optional<std::string>(const std::filesystem::path&)>;

    struct Environment {
        std::optional<std::filesystem::path> root; // a root passed in wins over the standard one
        Trash trash;
        const TimeSource* time = &TimeSource::system();
        // Why this program may not write the library (its lock could not be taken): every write,
        // Trash move and sweep is refused with it.
        std::optional<std::string> refusal{};
        // The library's disk has no locks: it is written without one.
        bool unlocked = false;
        // The folder this program locked as the library: only that folder is ever written, and only
        // while the root's path still names it.
        std::optional<FolderIdentity> lockedRoot{};

        static Environment standard();
    };

    struct LoadedBatch {
        BatchRecord record;
        std::vector<ImageRecord> images; // in the record's order, unreadable ones left out
        // Images whose folder is there but whose record could not be read (damaged, or written by
        // a later version): they stay in the batch, untouched.
        std::vector<Uuid> unreadable;
    };

    static constexpr const char* queueLabel = "oxel pro library";
    // Larger library files are taken as damaged and not read.
    static constexpr uintmax_t largestRecordFile = uintmax_t(16) << 20;
    // The library holds copies of originals and where they were taken: its files are its owner's
    // alone, as its folders are.
    static constexpr unsigned filePermissions = 0600;

    explicit LibraryStore(Environment environment = Environment::standard());
    // Waits for the queued writes.
    ~LibraryStore();
    LibraryStore(const LibraryStore&) = delete;
    LibraryStore& operator=(const LibraryStore&) = delete;

    // The data home's "oxel pro" folder ("oxel pro dev" for an identifier ending in ".dev"),
    // then "Library".
    static std::filesystem::path standardRoot(std::string_view bundleIdentifier);

    const std::filesystem::path& root() const { return root_; }
    const std::optional<std::string>& refusal() const { return refusal_; }
    bool unlocked() const { return unlocked_; }
    // The last write found the root's path naming another folder than the one this program locked
    // (moved away, replaced by a copy, its link pointed elsewhere): nothing is written until it names
    // that folder again.
    bool folderReplaced() const { return folderReplaced_; }
    std::filesystem::path batchFolder(const Uuid& batch) const;
    std::filesystem::path imageFolder(const Uuid& batch, const Uuid& image) const;

    // ---- Writing: encoded on the caller's thread, written on the queue -----------------------

    // Told on the main thread once a write is done: why it could not be written, or nothing.
    using Written = std::function<void(std::optional<std::string> failure)>;
    void saveBatch(const BatchRecord& record, Written written = {});
    void saveImage(const ImageRecord& record, const Uuid& batch, Written written = {});
    // The picture as a JPEG of at most `maxPixelSize` on its long edge, made and written on the
    // queue; a picture that cannot be encoded writes nothing.
    void writeJPEG(const Bitmap& bitmap, int maxPixelSize, const std::filesystem::path& to, double quality);
    // The same for a picture that may have to be made again first: made on the store's queue, so a
    // picture the cache let go never costs the caller its making.
    void writeJPEG(PictureHandle picture, int maxPixelSize, const std::filesystem::path& to, double quality);
    void write(std::vector<uint8_t> bytes, const std::filesystem::path& to);
    // Many pictures each to its own JPEG file, made and encoded side by side on every core: one
    // job on the queue, so what was queued before is written first and what comes after waits.
    struct PictureFile {
        PictureHandle picture;
        std::filesystem::path to;
        std::optional<DevelopSettings> madeAt{}; // noted beside the picture once it is written
    };
    void writeJPEGs(std::vector<PictureFile> pictures, int maxPixelSize, double quality);

    struct FileBytes {
        std::filesystem::path to;
        std::vector<uint8_t> bytes;
    };
    // Writes the files in order, each only once the one before it is on disk, and tells on the
    // main thread the first failure, or nothing once every file is there.
    Completion<std::optional<std::string>> writeInOrder(std::vector<FileBytes> files);

    // Why the library cannot be written now: its folder cannot be made or written, or its disk is
    // read-only. Nothing when it can.
    std::optional<std::string> cannotWrite() const;
    // The bytes the library's disk has free; nothing when they cannot be read or the disk is
    // read-only.
    std::optional<uintmax_t> freeRoom() const;
    // The bytes a file of the library takes on its disk, as its blocks count them and never less
    // than its length; nothing when it is not a file there.
    std::optional<uintmax_t> bytesOnDisk(const std::filesystem::path& file) const;

    // ---- Reading: after the queued writes ----------------------------------------------------

    // The batch as its folder holds it. A batch record given in place of the disk's (one the disk
    // has not taken yet) decides which images are read, whatever the disk's batch.json lists.
    std::optional<LoadedBatch> load(const Uuid& batch, std::optional<BatchRecord> inPlaceOfDisk = std::nullopt);
    // Every complete batch, newest update first, with up to four thumbnails among its first six
    // images.
    std::vector<BatchSummary> list();
    // Of `jobIds`, those whose results the library keeps: an image record in one of its batch folders
    // holds the job id, says done, and its render is there whole. Reads every image record until each
    // is found, or until `stop` asks it to stop.
    std::set<std::string> storedResults(const std::set<std::string>& jobIds, std::stop_token stop = {});
    // Removes an image's folder from its batch once the writes queued for it are done, so none of
    // them makes the folder again.
    void removeImageFolder(const Uuid& batch, const Uuid& image);
    // Moves the batch's folder to the Trash; the reason when it could not (the folder stays).
    std::optional<std::string> deleteBatch(const Uuid& batch);
    // The same for a listed folder, a copy's included: only a folder directly inside the root.
    std::optional<std::string> deleteBatchFolder(const std::filesystem::path& folder);
    // The bytes of every file under the batch's folder; symbolic links are not followed. Does not
    // wait for the queue.
    int64_t size(const Uuid& of) const;

    // Queues the removal to the Trash of batch folders that never got a batch.json and are older
    // than a day, and the removal of temporaries that killed writes left, older than a day.
    void sweep();

    // Waits for every write queued so far.
    void drain();
    // Writes are queued or running.
    bool writing();
    // Waits for the queued writes and ends the queue's thread; later writes run on the caller's
    // thread. Called at quit, after the last save.
    void shutdown();

    // The JPEG encoder: the picture shrunk, area-filtered, to at most `maxPixelSize` on its long
    // edge (each side truncated, at least 1), an RGB space kept and any other made sRGB, the
    // profile embedded unless it is sRGB. Nothing when it cannot be encoded.
    static std::optional<std::vector<uint8_t>> jpegData(const Bitmap& bitmap, int maxPixelSize, double quality);

private:
    std::shared_ptr<SerialQueue> queue();
    void enqueue(std::function<void()> job);
    // The folder `relative` below the root, reached only through the root this program locked.
    LibraryFolder openFolder(const std::filesystem::path& relative, bool make) const;
    // Why nothing may be changed in the library now: this program may not write it, or its root is
    // no longer the folder locked.
    std::optional<std::string> cannotChange() const;
    // Whether the JPEG is on disk.
    bool writeJPEGNow(const Bitmap& bitmap, int maxPixelSize, const std::filesystem::path& to, double quality);
    // Queues the record's bytes, or tells why it has none.
    template <class Record>
    void saveRecord(const Record& record, const std::filesystem::path& to, Written written);
    // The reason when the file could not be written (it is logged too).
    std::optional<std::string> writeData(std::string_view bytes, const std::filesystem::path& to) const;
    void sweepStaleFolders() const;
    std::vector<std::filesystem::path> thumbnailsOf(const BatchRecord& record) const;

    std::filesystem::path root_;
    Trash trash_;
    const TimeSource* time_;
    std::optional<std::string> refusal_;
    bool unlocked_;
    std::optional<FolderIdentity> lockedRoot_;
    mutable std::atomic<bool> folderReplaced_ = false;
    std::mutex queueMutex_;
    std::shared_ptr<SerialQueue> queue_;
};

} // namespace oxel
