#include "library/LibraryFiles.h"

#include "library/LibraryStore.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

} // namespace

bool isPlainFile(const fs::path& file)
{
    struct stat status {};
    return ::lstat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isPlainFolder(const fs::path& folder)
{
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::string> readLibraryFile(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    FileCloser closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    if (uintmax_t(status.st_size) > LibraryStore::largestRecordFile) return std::nullopt;
    std::string bytes(size_t(status.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) break;
        done += size_t(count);
    }
    bytes.resize(done);
    return bytes;
}

} // namespace oxel
