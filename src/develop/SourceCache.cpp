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

} // namespace oxel
