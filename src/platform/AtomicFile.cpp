#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace oxel {

namespace {

namespace fs = std::filesystem;

std::string randomDigits()
{
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", unsigned(generator() & 0xFFFFFFFFu));
    return digits;
}

// The rename has happened by then: a folder that cannot be flushed (some file systems refuse)
// does not undo it, so it is not reported.
void syncFolderOf(const fs::path& file)
{
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

AtomicFile::AtomicFile(fs::path destination, AtomicFileOptions options)
    : destination_(std::move(destination)), permissions_(options.permissions)
{
    const std::string prefix = options.prefix.empty() ? destination_.filename().string() + ".tmp-" : options.prefix;
    constexpr int attempts = 16;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        path_ = destination_.parent_path() / (prefix + randomDigits() + options.suffix);
        // Readable too: some encoders read back what they wrote through the descriptor.
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            created_ = true;
            return;
        }
        if (errno != EEXIST) break;
    }
    fail("create", path_, errno);
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !committed_) ::unlink(path_.c_str());
}

bool AtomicFile::fail(const std::string& what, const fs::path& file, int error)
{
    failure_ = "could not " + what + " " + file.string() + ": " + std::strerror(error);
    return false;
}

bool AtomicFile::write(const void* data, size_t count)
{
    if (!usable()) return false;
    if (fd_ < 0) return fail("write", path_, EBADF);
    auto bytes = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t done = ::write(fd_, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return fail("write", path_, done < 0 ? errno : EIO);
        bytes += done;
        count -= size_t(done);
    }
    return true;
}

bool AtomicFile::closeDescriptor()
{
    if (!usable()) return false;
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0 || fail("close", path_, errno);
}

bool AtomicFile::commit()
{
    if (!usable()) return false;
    // What writers by path wrote is flushed through a descriptor of its own.
    if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) return fail("open", path_, errno);
    if (::fsync(fd_) != 0) return fail("flush", path_, errno);
    if (::fchmod(fd_, permissions_) != 0) return fail("set the permissions of", path_, errno);
    if (!closeDescriptor()) return false;
    if (::rename(path_.c_str(), destination_.c_str()) != 0) return fail("replace", destination_, errno);
    committed_ = true;
    syncFolderOf(destination_);
    return true;
}

mode_t maskedByUmask(mode_t permissions)
{
    // Read rather than set and restored with umask(), which would race with other threads.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Umask:")) return permissions & ~mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    return permissions & ~mode_t(022);
}

std::optional<std::string> writeFileAtomically(const fs::path& destination, std::string_view bytes, mode_t permissions)
{
    std::error_code folderError;
    fs::create_directories(destination.parent_path(), folderError);
    if (folderError) return "could not create " + destination.parent_path().string() + ": " + folderError.message();

    AtomicFileOptions options;
    options.permissions = permissions;
    AtomicFile file(destination, options);
    if (file.write(bytes) && file.commit()) return std::nullopt;
    return file.failure();
}

} // namespace oxel
