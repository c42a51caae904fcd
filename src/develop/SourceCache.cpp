#include "develop/SourceCache.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>

namespace oxel {

std::optional<FileState> FileState::of(const std::filesystem::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    FileState stamp;
    stamp.size = uintmax_t(info.st_size);
    stamp.modifiedNanoseconds = int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.inode = uint64_t(info.st_ino);
    stamp.device = uint64_t(info.st_dev);
    return stamp;
}

std::optional<std::vector<uint8_t>> readStampedFile(const std::filesystem::path& file, const FileState& expected)
{
    // Larger files are no pictures this program reads whole.
    constexpr uintmax_t largestFile = uintmax_t(4) << 30;
    if (FileState::of(file) != expected || expected.size > largestFile) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(expected.size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (size_t(in.gcount()) != bytes.size() || in.peek() != std::ifstream::traits_type::eof()) return std::nullopt;
    if (FileState::of(file) != expected) return std::nullopt;
    return bytes;
}

struct SourceCache::Entry {
    bool done = false;
    std::optional<Bitmap> bitmap;
    size_t bytes = 0;
    uint64_t lastUse = 0;
    std::condition_variable ready;
};

SourceCache& SourceCache::shared()
{
    // Enough for a few 50-megapixel originals at 16 bits.
    static SourceCache cache(size_t(1) << 30);
    return cache;
}

std::optional<Bitmap> SourceCache::bitmap(const std::string& key, const Decode& decode)
{
    std::unique_lock lock(mutex_);
    if (auto found = entries_.find(key); found != entries_.end()) {
        const std::shared_ptr<Entry> entry = found->second;
        entry->ready.wait(lock, [&] { return entry->done; });
        entry->lastUse = ++clock_;
        if (entry->bitmap) {
            ++statistics_.hits;
            return entry->bitmap;
        }
        // The decode that was waited for failed; this caller tries for itself.
        lock.unlock();
        return decode();
    }
    auto entry = std::make_shared<Entry>();
    entries_[key] = entry;
    lock.unlock();

    std::optional<Bitmap> decoded;
    try {
        decoded = decode();
    } catch (const std::exception& error) {
        // Usually memory for a very large picture. The entry must still be settled, or every
        // later request for this file would wait for it for ever.
        std::fprintf(stderr, "[source] decoding failed: %s\n", error.what());
    }

    lock.lock();
    entry->done = true;
    entry->bitmap = decoded;
    entry->lastUse = ++clock_;
    if (decoded) {
        entry->bytes = decoded->byteCount();
        bytesHeld_ += entry->bytes;
        ++statistics_.made;
        statistics_.bytesMade += entry->bytes;
        evictOverLimit(key);
    } else if (auto it = entries_.find(key); it != entries_.end() && it->second == entry) {
        entries_.erase(it);
    }
    entry->ready.notify_all();
    return decoded;
}

void SourceCache::evictOverLimit(const std::string& keep)
{
    while (bytesHeld_ > byteLimit_) {
        auto oldest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first != keep && it->second->done &&
                (oldest == entries_.end() || it->second->lastUse < oldest->second->lastUse))
                oldest = it;
        if (oldest == entries_.end()) return;
        bytesHeld_ -= oldest->second->bytes;
        entries_.erase(oldest);
        ++statistics_.evicted;
    }
}

SourceCache::Statistics SourceCache::statistics() const
{
    std::lock_guard lock(mutex_);
    return statistics_;
}

bool SourceCache::contains(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    return found != entries_.end() && found->second->done;
}

size_t SourceCache::bytesHeld() const
{
    std::lock_guard lock(mutex_);
    return bytesHeld_;
}

void SourceCache::clear()
{
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second->done) {
            bytesHeld_ -= it->second->bytes;
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace oxel
