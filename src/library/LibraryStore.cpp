#include "library/LibraryStore.h"

#include "async/MainExecutor.h"
#include "library/KeptResultFiles.h"
#include "library/KeptThumbnail.h"
#include "library/LibraryFiles.h"
#include "library/LibraryFolder.h"
#include "library/RenderEnds.h"
#include "platform/AppFolders.h"
#include "platform/AtomicFile.h"
#include "platform/Diagnostics.h"
#include "platform/Trash.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

template <class Record>
std::optional<Record> readRecord(const fs::path& file)
{
    const auto bytes = readLibraryFile(file);
    if (!bytes) return std::nullopt;
    auto decoded = Record::decode(*bytes);
    if (!decoded) return std::nullopt;
    return std::move(*decoded);
}

// The root's entries that are not hidden; empty when it cannot be listed.
std::vector<std::string> visibleEntries(const fs::path& root)
{
    std::vector<std::string> names;
    DIR* directory = ::opendir(root.c_str());
    if (!directory) return names;
    while (const dirent* entry = ::readdir(directory))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(directory);
    return names;
}

bool isInside(const fs::path& root, const fs::path& path)
{
    const auto relative = path.lexically_normal().lexically_relative(root.lexically_normal());
    return !relative.empty() && *relative.begin() != ".." && *relative.begin() != ".";
}

// Whether a record's bytes name one of the job ids as theirs, looked up once, without parsing the
// record: job ids hold nothing JSON escapes, so a record holds its own as it stands. One that names
// none of them is not parsed, so a large library costs a read of each record, not a parse.
bool namesOneOf(std::string_view bytes, const std::set<std::string>& jobIds)
{
    constexpr std::string_view key = "\"jobId\"", blank = " \t\r\n";
    for (size_t at = bytes.find(key); at != std::string_view::npos; at = bytes.find(key, at + key.size())) {
        size_t from = bytes.find_first_not_of(blank, at + key.size());
        if (from == std::string_view::npos || bytes[from] != ':') continue;
        from = bytes.find_first_not_of(blank, from + 1);
        if (from == std::string_view::npos || bytes[from] != '"') continue;
        const size_t to = bytes.find('"', ++from);
        if (to != std::string_view::npos && jobIds.contains(std::string(bytes.substr(from, to - from)))) return true;
    }
    return false;
}

// Whether the library keeps the result a delivery brought, as reopening its batch would rebuild it:
// a done record of a result from the backend whose files the rebuild reads are there and decode,
// the render's ends in place as well. The render's bound comes from the original's size as the
// record keeps it; a reopen takes it from the original loaded again, which it holds to that size.
bool keepsDelivery(const ImageRecord& record, const fs::path& imageFolder)
{
    if (record.state != ImageRecord::State::done || record.mode == ImageRecord::Mode::colour) return false;
    if (!record.renderFile || !ImageRecord::isRenderFileName(*record.renderFile)) return false;
    if (record.original.pixels.size() != 2 || !renderEndsInPlace(imageFolder / *record.renderFile)) return false;
    return KeptResultFiles::read(record, imageFolder, record.original.pixels[0], record.original.pixels[1]).has_value();
}

// Tells `written` on the main thread, when there is one; the loop that runs it waits for it meanwhile.
LibraryStore::Written toldOnMainThread(LibraryStore::Written written)
{
    if (!written) return [](std::optional<std::string>) {};
    MainExecutor& executor = mainExecutor();
    return [written = std::move(written), &executor,
            pending = std::make_shared<PendingWork>(executor)](std::optional<std::string> failure) {
        // Posted before `pending` goes: a posted answer that held it would keep the main loop's
        // owner waiting for work that only that loop can finish.
        executor.post([written, failure] { written(failure); });
    };
}

void logWriteFailure(const fs::path& file, const std::string& reason)
{
    diagnoseAs("oxel pro library", "could not write " + file.filename().string() + ": " + reason);
}

TimeSource::WallTime modificationTime(const struct stat& status)
{
    return TimeSource::WallTime(std::chrono::duration_cast<TimeSource::WallTime::duration>(
        std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

// The name of a batch's folder: a batch id as the store writes it.
bool isBatchFolderName(const std::string& name)
{
    const auto id = Uuid::parse(name);
    return id && id->text() == name;
}

// A temporary the store's atomic writes leave behind when the program is killed mid-write: a
// file's name, ".tmp-" and 32 hexadecimal digits.
bool isLeftoverTemporary(const std::string& name)
{
    constexpr std::string_view marker = ".tmp-";
    constexpr size_t digits = 32;
    if (name.size() <= marker.size() + digits) return false;
    const auto tail = std::string_view(name).substr(name.size() - digits - marker.size());
    return tail.starts_with(marker) &&
           tail.substr(marker.size()).find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

// The entries of an open folder, "." and ".." left out.
std::vector<std::string> entriesOf(const LibraryFolder& folder)
{
    std::vector<std::string> names;
    const int fd = ::fcntl(folder.descriptor(), F_DUPFD_CLOEXEC, 0);
    DIR* directory = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!directory) {
        if (fd >= 0) ::close(fd);
        return names;
    }
    // The copy shares the folder's reading position with the original: start from the top.
    ::rewinddir(directory);
    while (const dirent* entry = ::readdir(directory))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    ::closedir(directory);
    return names;
}

// Removes the store's own temporaries older than `oldest` from the folder and the folders below
// it, down to an image's folder; links are not followed.
void removeLeftoverTemporaries(const LibraryFolder& folder, TimeSource::WallTime oldest, int depth)
{
    for (const auto& name : entriesOf(folder)) {
        struct stat status {};
        if (::fstatat(folder.descriptor(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(status.st_mode) && depth > 0) {
            if (const auto child = folder.child(name); child.isOpen())
                removeLeftoverTemporaries(child, oldest, depth - 1);
        } else if (S_ISREG(status.st_mode) && isLeftoverTemporary(name) && modificationTime(status) < oldest) {
            ::unlinkat(folder.descriptor(), name.c_str(), 0);
        }
    }
}

} // namespace

LibraryStore::Environment LibraryStore::Environment::standard()
{
    return {std::nullopt, moveToTrash, &TimeSource::system()};
}

LibraryStore::LibraryStore(Environment environment)
    : root_(environment.root ? *environment.root : standardRoot(bundleIdentifier())),
      trash_(environment.trash ? std::move(environment.trash) : Trash(moveToTrash)),
      time_(environment.time ? environment.time : &TimeSource::system()),
      refusal_(std::move(environment.refusal)),
      unlocked_(environment.unlocked),
      lockedRoot_(environment.lockedRoot),
      queue_(std::make_shared<SerialQueue>(queueLabel))
{
    // A locked root was made by its lock; one made now would not be it.
    if (!refusal_ && !lockedRoot_) LibraryFolder::makeRoot(root_);
}

LibraryStore::~LibraryStore()
{
    shutdown();
}

fs::path LibraryStore::standardRoot(std::string_view bundleIdentifier)
{
    const std::string folder = bundleIdentifier.ends_with(".dev") ? "oxel pro dev" : "oxel pro";
    return dataDirectory().parent_path() / folder / "Library";
}

fs::path LibraryStore::batchFolder(const Uuid& batch) const
{
    return root_ / batch.text();
}

fs::path LibraryStore::imageFolder(const Uuid& batch, const Uuid& image) const
{
    return batchFolder(batch) / "images" / image.text();
}

std::shared_ptr<SerialQueue> LibraryStore::queue()
{
    std::lock_guard lock(queueMutex_);
    return queue_;
}

void LibraryStore::enqueue(std::function<void()> job)
{
    if (const auto queue = this->queue())
        queue->async(std::move(job));
    else
        job();
}

template <class Record>
void LibraryStore::saveRecord(const Record& record, const fs::path& to, Written written)
{
    auto tell = toldOnMainThread(std::move(written));
    auto bytes = record.encode();
    if (!bytes) {
        logWriteFailure(to, bytes.error().text());
        return tell(bytes.error().text());
    }
    enqueue([this, bytes = std::move(*bytes), to, tell = std::move(tell)] { tell(writeData(bytes, to)); });
}

void LibraryStore::saveBatch(const BatchRecord& record, Written written)
{
    saveRecord(record, batchFolder(record.id) / "batch.json", std::move(written));
}

void LibraryStore::saveImage(const ImageRecord& record, const Uuid& batch, Written written)
{
    saveRecord(record, imageFolder(batch, record.id) / "image.json", std::move(written));
}

void LibraryStore::writeJPEG(const Bitmap& bitmap, int maxPixelSize, const fs::path& to, double quality)
{
    enqueue([this, bitmap, maxPixelSize, to, quality] { writeJPEGNow(bitmap, maxPixelSize, to, quality); });
}

void LibraryStore::writeJPEG(PictureHandle picture, int maxPixelSize, const fs::path& to, double quality)
{
    enqueue([this, picture = std::move(picture), maxPixelSize, to, quality] {
        if (auto bitmap = picture.bitmap()) writeJPEGNow(*bitmap, maxPixelSize, to, quality);
    });
}

void LibraryStore::writeJPEGs(std::vector<PictureFile> pictures, int maxPixelSize, double quality)
{
    if (pictures.empty()) return;
    enqueue([this, pictures = std::move(pictures), maxPixelSize, quality] {
        std::atomic<size_t> next = 0;
        const auto work = [&] {
            for (size_t index = next++; index < pictures.size(); index = next++)
                if (auto bitmap = pictures[index].picture.bitmap()) {
                    const auto& file = pictures[index];
                    if (!writeJPEGNow(*bitmap, maxPixelSize, file.to, quality) || !file.madeAt) continue;
                    if (const auto note = KeptThumbnail::note(file.to, *file.madeAt))
                        writeData(*note, KeptThumbnail::notePath(file.to));
                }
        };
        const size_t helpers = std::min<size_t>(pictures.size(), std::max(1u, std::thread::hardware_concurrency())) - 1;
        std::vector<std::jthread> threads;
        for (size_t helper = 0; helper < helpers; ++helper) threads.emplace_back(work);
        work();
    });
}

bool LibraryStore::writeJPEGNow(const Bitmap& bitmap, int maxPixelSize, const fs::path& to, double quality)
{
    const auto bytes = jpegData(bitmap, maxPixelSize, quality);
    return bytes && !writeData(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), to);
}

void LibraryStore::write(std::vector<uint8_t> bytes, const fs::path& to)
{
    enqueue([this, bytes = std::move(bytes), to] {
        writeData(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), to);
    });
}

Completion<std::optional<std::string>> LibraryStore::writeInOrder(std::vector<FileBytes> files)
{
    Completion<std::optional<std::string>> written;
    auto tell = toldOnMainThread([written](std::optional<std::string> failure) mutable { written.complete(failure); });
    enqueue([this, files = std::move(files), tell = std::move(tell)] {
        std::optional<std::string> failure;
        for (const auto& file : files) {
            failure = writeData(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()),
                                file.to);
            if (failure) break;
        }
        tell(failure);
    });
    return written;
}

LibraryFolder LibraryStore::openFolder(const fs::path& relative, bool make) const
{
    auto folder = LibraryFolder::open(root_, relative, make, lockedRoot_);
    folderReplaced_ = folder.replaced();
    return folder;
}

std::optional<std::string> LibraryStore::cannotChange() const
{
    if (refusal_) return refusal_;
    if (const auto root = openFolder({}, false); root.replaced()) return root.failure();
    return std::nullopt;
}

std::optional<std::string> LibraryStore::cannotWrite() const
{
    if (refusal_) return refusal_;
    const auto root = openFolder({}, true);
    if (!root.isOpen()) return root.failure();
    // A file is really written, so a folder that may be listed but not changed is caught too.
    AtomicFileOptions probe;
    probe.prefix = ".writable-";
    AtomicFile file(root.descriptor(), root_ / ".writable", probe);
    const std::string block(4096, '\0');
    if (!file.write(block)) return file.failure();
    struct statvfs disk {};
    if (::fstatvfs(root.descriptor(), &disk) != 0) return "could not read the room on " + root_.string();
    if (disk.f_flag & ST_RDONLY) return root_.string() + " is on a read-only disk";
    return std::nullopt;
}

std::optional<uintmax_t> LibraryStore::freeRoom() const
{
    const auto root = openFolder({}, false);
    struct statvfs disk {};
    if (!root.isOpen() || ::fstatvfs(root.descriptor(), &disk) != 0 || (disk.f_flag & ST_RDONLY)) return std::nullopt;
    return uintmax_t(disk.f_bavail) * uintmax_t(disk.f_frsize);
}

std::optional<uintmax_t> LibraryStore::bytesOnDisk(const fs::path& file) const
{
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    // Some file systems count a file's blocks only once it reaches the disk, after it was written:
    // its length is the least it will take.
    return std::max(uintmax_t(status.st_blocks) * 512, uintmax_t(status.st_size));
}

std::optional<std::string> LibraryStore::writeData(std::string_view bytes, const fs::path& to) const
{
    auto failed = [&to](std::string reason) {
        logWriteFailure(to, reason);
        return std::optional(std::move(reason));
    };
    if (refusal_) return failed(*refusal_);
    if (!isInside(root_, to)) return failed("the file lies outside the library");
    const fs::path relative = to.lexically_normal().lexically_relative(root_.lexically_normal());
    const auto folder = openFolder(relative.parent_path(), true);
    if (!folder.isOpen()) return failed(folder.failure());
    AtomicFileOptions options;
    options.permissions = filePermissions;
    AtomicFile file(folder.descriptor(), to, std::move(options));
    if (!file.write(bytes) || !file.commit()) return failed(file.failure());
    return std::nullopt;
}

std::optional<LibraryStore::LoadedBatch> LibraryStore::load(const Uuid& batch, std::optional<BatchRecord> inPlaceOfDisk)
{
    drain();
    auto record = inPlaceOfDisk ? std::move(inPlaceOfDisk) : readRecord<BatchRecord>(batchFolder(batch) / "batch.json");
    if (!record) return std::nullopt;
    LoadedBatch loaded{std::move(*record), {}, {}};
    for (const Uuid& image : loaded.record.images) {
        const fs::path folder = imageFolder(batch, image);
        if (auto imageRecord = readRecord<ImageRecord>(folder / "image.json"))
            loaded.images.push_back(std::move(*imageRecord));
        else if (isPlainFolder(folder))
            loaded.unreadable.push_back(image);
    }
    return loaded;
}

std::vector<fs::path> LibraryStore::thumbnailsOf(const BatchRecord& record) const
{
    constexpr size_t looked = 6, shown = 4;
    std::vector<fs::path> thumbs;
    for (size_t i = 0; i < std::min(looked, record.images.size()); ++i) {
        fs::path thumb = imageFolder(record.id, record.images[i]) / "thumb.jpg";
        if (isPlainFile(thumb)) thumbs.push_back(std::move(thumb));
    }
    if (thumbs.size() > shown) thumbs.resize(shown);
    return thumbs;
}

std::vector<BatchSummary> LibraryStore::list()
{
    drain();
    std::vector<BatchSummary> summaries;
    for (const auto& name : visibleEntries(root_)) {
        const fs::path folder = root_ / name;
        if (!isPlainFolder(folder)) continue;
        auto record = readRecord<BatchRecord>(folder / "batch.json");
        if (!record) continue;
        auto thumbs = thumbnailsOf(*record);
        const bool copy = name != record->id.text();
        summaries.push_back({std::move(*record), folder, std::move(thumbs), copy});
    }
    std::stable_sort(summaries.begin(), summaries.end(), [](const BatchSummary& a, const BatchSummary& b) {
        return a.record.updatedAt > b.record.updatedAt;
    });
    return summaries;
}

std::set<std::string> LibraryStore::storedResults(const std::set<std::string>& jobIds, std::stop_token stop)
{
    drain();
    std::set<std::string> stored;
    for (const auto& batch : visibleEntries(root_)) {
        const fs::path images = root_ / batch / "images";
        if (!isPlainFolder(root_ / batch) || !isPlainFolder(images)) continue;
        // Looked at before each image: a quit does not wait for a batch's renders to be decoded.
        for (const auto& image : visibleEntries(images)) {
            if (stop.stop_requested()) return stored;
            // An image folder that is a link is not the library's own: what it holds is not kept.
            if (!isPlainFolder(images / image)) continue;
            const auto bytes = readLibraryFile(images / image / "image.json");
            if (!bytes || !namesOneOf(*bytes, jobIds)) continue;
            const auto record = ImageRecord::decode(*bytes);
            if (!record || !record->jobId || !jobIds.contains(*record->jobId)) continue;
            if (keepsDelivery(*record, images / image)) stored.insert(*record->jobId);
            if (stored.size() == jobIds.size()) return stored;
        }
    }
    return stored;
}

void LibraryStore::removeImageFolder(const Uuid& batch, const Uuid& image)
{
    drain();
    if (const auto why = cannotChange())
        return diagnoseAs("oxel pro library", "could not remove " + image.text() + ": " + *why);
    std::error_code ignored;
    fs::remove_all(imageFolder(batch, image), ignored);
}

std::optional<std::string> LibraryStore::deleteBatch(const Uuid& batch)
{
    return deleteBatchFolder(batchFolder(batch));
}

std::optional<std::string> LibraryStore::deleteBatchFolder(const fs::path& folder)
{
    drain();
    if (const auto why = cannotChange()) return why;
    if (folder.parent_path() != root_ || !isInside(root_, folder)) return "the folder lies outside the library";
    if (!isPlainFolder(folder)) return "no such folder in the library";
    return trash_(folder);
}

int64_t LibraryStore::size(const Uuid& of) const
{
    const fs::path folder = batchFolder(of);
    if (!isPlainFolder(folder)) return 0;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
    if (error) return 0;
    int64_t total = 0;
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(error)) {
        if (error) break;
        std::error_code entryError;
        if (!walk->is_regular_file(entryError) || walk->is_symlink(entryError)) continue;
        const auto bytes = walk->file_size(entryError);
        if (!entryError) total += int64_t(bytes);
    }
    return total;
}

void LibraryStore::sweep()
{
    if (refusal_) return;
    enqueue([this] { sweepStaleFolders(); });
}

void LibraryStore::sweepStaleFolders() const
{
    constexpr auto oldest = std::chrono::seconds(86'400);
    const auto now = time_->now();
    const auto root = openFolder({}, false);
    if (!root.isOpen()) return;
    // Down to an image's folder: <batch>/images/<image>/.
    removeLeftoverTemporaries(root, now - oldest, 3);
    // Only what the store itself would have made and can prove never completed: a folder named as a
    // batch in which batch.json is plainly absent. A folder that cannot be searched proves nothing.
    for (const auto& name : entriesOf(root)) {
        if (!isBatchFolderName(name)) continue;
        struct stat status {};
        if (::fstatat(root.descriptor(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode))
            continue;
        const auto modified = modificationTime(status);
        const auto folder = root.child(name);
        struct stat record {};
        if (!folder.isOpen() || ::fstatat(folder.descriptor(), "batch.json", &record, AT_SYMLINK_NOFOLLOW) == 0 ||
            errno != ENOENT)
            continue;
        // The Trash takes a path: it must still lead into the folder locked. A refusal leaves the
        // folder for the next sweep.
        if (now - modified > oldest && !cannotChange()) trash_(root_ / name);
    }
}

void LibraryStore::drain()
{
    if (const auto queue = this->queue()) queue->wait();
}

bool LibraryStore::writing()
{
    const auto queue = this->queue();
    return queue && !queue->idle();
}

void LibraryStore::shutdown()
{
    std::shared_ptr<SerialQueue> ending;
    {
        std::lock_guard lock(queueMutex_);
        ending = std::move(queue_);
    }
    // The last holder's release waits for every job already added and ends the thread.
    if (ending) ending->wait();
}

} // namespace oxel
