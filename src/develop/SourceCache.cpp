#include "develop/SourceCache.h"

#include <sys/stat.h>

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

std::optional<FileBytes> readStampedFile(const std::filesystem::path& file, const FileState& expected)
{
    if (FileState::of(file) != expected) return std::nullopt;
    auto bytes = FileBytes::map(file);
    if (!bytes || bytes->size() != expected.size || FileState::of(file) != expected) return std::nullopt;
    return bytes;
}

} // namespace oxel
