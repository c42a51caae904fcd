#include "export/OutputFile.h"

#include "export/PSDWriterError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <utility>

namespace oxel {

void throwFileError(const std::string& what, const std::filesystem::path& path, int error)
{
    throw PSDWriterError::io("could not " + what + " " + path.string() + ": " + std::strerror(error));
}

OutputFile::OutputFile(std::filesystem::path path) : path_(std::move(path))
{
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) throwFileError("create", path_, errno);
}

OutputFile::OutputFile(std::filesystem::path path, int borrowedDescriptor)
    : path_(std::move(path)), fd_(borrowedDescriptor), owned_(false)
{}

OutputFile::~OutputFile()
{
    if (owned_ && fd_ >= 0) ::close(fd_);
}

void OutputFile::write(const void* data, size_t count)
{
    auto bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t done = ::write(fd_, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) throwFileError("write", path_, done < 0 ? errno : EIO);
        bytes += done;
        count -= size_t(done);
    }
}

void OutputFile::close()
{
    const int fd = std::exchange(fd_, -1);
    if (owned_ && ::close(fd) != 0) throwFileError("close", path_, errno);
}

void OutputFile::discard() noexcept
{
    const int fd = std::exchange(fd_, -1);
    if (!owned_) return;
    if (fd >= 0) ::close(fd);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

namespace {

// Copies inside the kernel while it can; false when this pair of files does not allow it, before
// anything was copied.
bool copyInKernel(int from, const std::filesystem::path& source, OutputFile& out)
{
    bool copiedAny = false;
    for (;;) {
        const ssize_t done = ::copy_file_range(from, nullptr, out.descriptor(), nullptr, 1 << 30, 0);
        if (done == 0) return true;
        if (done > 0) {
            copiedAny = true;
            continue;
        }
        if (errno == EINTR) continue;
        const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP;
        if (unsupported && !copiedAny) return false;
        throwFileError("copy", source, errno);
    }
}

} // namespace

void appendFile(const std::filesystem::path& source, OutputFile& out)
{
    constexpr size_t pieceBytes = 8 * 1024 * 1024;
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throwFileError("open", source, errno);
    try {
        if (copyInKernel(fd, source, out)) {
            ::close(fd);
            return;
        }
        std::unique_ptr<uint8_t[]> piece(new uint8_t[pieceBytes]);
        for (;;) {
            const ssize_t got = ::read(fd, piece.get(), pieceBytes);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throwFileError("read", source, errno);
            if (got == 0) break;
            out.write(piece.get(), size_t(got));
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

AtomicFileOptions hiddenTemporary(std::string suffix)
{
    return {".oxel-", std::move(suffix), maskedByUmask(0644), {}};
}

} // namespace oxel
