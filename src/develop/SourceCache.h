#pragma once

#include "imaging/Bitmap.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// What identifies one version of a file's content: a file whose stamp changed may hold other
// pixels, and is read again (or refused) rather than trusted.
struct FileState {
    uintmax_t size = 0;
    int64_t modifiedNanoseconds = 0;
    uint64_t inode = 0;
    uint64_t device = 0;

    static std::optional<FileState> of(const std::filesystem::path& file);
    bool operator==(const FileState&) const = default;
};

// The whole file, but only while its stamp is `expected` (checked before and after reading, so a
// file changed in between is refused as well).
std::optional<std::vector<uint8_t>> readStampedFile(const std::filesystem::path& file, const FileState& expected);

// Decoded originals shared by the whole process, bounded by their bytes: the least recently used
// pictures go first, and the most recent one is always kept so that a render in progress never
// decodes its picture twice. Several threads asking for the same picture wait for one decode.
class SourceCache {
public:
    using Decode = std::function<std::optional<Bitmap>()>;

    explicit SourceCache(size_t byteLimit) : byteLimit_(byteLimit) {}

    static SourceCache& shared();

    // The picture under `key`, decoded with `decode` when it is not held; failures are not kept.
    std::optional<Bitmap> bitmap(const std::string& key, const Decode& decode);

    // What the cache has done since it was made: pictures made (decoded or rendered) and their
    // bytes, requests answered from memory, pictures let go to stay within the bound.
    struct Statistics {
        uint64_t made = 0;
        uint64_t bytesMade = 0;
        uint64_t hits = 0;
        uint64_t evicted = 0;
    };
    Statistics statistics() const;
    bool contains(const std::string& key) const;

    size_t bytesHeld() const;
    size_t byteLimit() const { return byteLimit_; }
    void clear();

private:
    struct Entry;
    void evictOverLimit(const std::string& keep);

    mutable std::mutex mutex_;
    size_t byteLimit_;
    size_t bytesHeld_ = 0;
    uint64_t clock_ = 0;
    Statistics statistics_;
    std::map<std::string, std::shared_ptr<Entry>> entries_;
};

} // namespace oxel
