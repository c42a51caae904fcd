#include "platform/AtomicFile.h"

#include "platform/ExactText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace oxel {

namespace {

namespace fs = std::filesystem;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `name` in `folder` is still the very file open as `fd`, not a link or another file put in
// its place.
bool namesDescriptor(int folder, const std::string& name, int fd)
{
    struct stat named {
    }, opened{};
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &opened) == 0 &&
           S_ISREG(named.st_mode) && sameFile(named, opened);
}

} // namespace

std::optional<std::string> randomDigits(size_t bytes)
{
    std::string bits(bytes, '\0');
    for (size_t filled = 0; filled < bytes;) {
        const ssize_t got = ::getrandom(bits.data() + filled, bytes - filled, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        filled += size_t(got);
    }
    return hexDigits(bits);
}

AtomicFile::AtomicFile(fs::path destination, AtomicFileOptions options)
    : destination_(std::move(destination)),
      permissions_(options.permissions),
      beforeReplacing_(std::move(options.beforeReplacing))
{
    create(options);
}

AtomicFile::AtomicFile(int folder, fs::path destination, AtomicFileOptions options)
    : destination_(std::move(destination)),
      permissions_(options.permissions),
      beforeReplacing_(std::move(options.beforeReplacing)),
      folder_(::fcntl(folder, F_DUPFD_CLOEXEC, 0))
{
    if (folder_ < 0) {
        folder_ = AT_FDCWD;
        fail("create a temporary for", destination_, errno);
        return;
    }
    create(options);
}

std::string AtomicFile::named(const fs::path& file) const
{
    return folder_ == AT_FDCWD ? file.string() : file.filename().string();
}

// The rename has happened by then: a folder that cannot be flushed (some file systems refuse)
// does not undo it, so it is not reported.
void AtomicFile::syncFolder() const
{
    if (folder_ != AT_FDCWD) {
        ::fsync(folder_);
        return;
    }
    const fs::path folder = destination_.parent_path().empty() ? fs::path(".") : destination_.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void AtomicFile::create(const AtomicFileOptions& options)
{
    const std::string prefix = options.prefix.empty() ? destination_.filename().string() + ".tmp-" : options.prefix;
    constexpr int attempts = 16;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // 128 bits, so that nobody can plant a file under the next name.
        const auto digits = randomDigits(16);
        if (!digits) break;
        path_ = destination_.parent_path() / (prefix + *digits + options.suffix);
        // Readable too: some encoders read back what they wrote through the descriptor.
        fd_ = ::openat(folder_, named(path_).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    if (created_ && !committed_) ::unlinkat(folder_, named(path_).c_str(), 0);
    if (folder_ != AT_FDCWD) ::close(folder_);
}

bool AtomicFile::fail(const std::string& what, const fs::path& file, int error, const char* reason)
{
    failure_ = "could not " + what + " " + file.string() + ": " + (reason ? reason : std::strerror(error));
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

bool AtomicFile::commit()
{
    if (!usable()) return false;
    if (::fsync(fd_) != 0) return fail("flush", path_, errno);
    if (::fchmod(fd_, permissions_) != 0) return fail("set the permissions of", path_, errno);
    // Anyone who may write to the folder may put something else under the temporary's name: only
    // the file written here is moved into place. The descriptor stays open until it is there.
    const std::string temporary = named(path_), destination = named(destination_);
    if (!namesDescriptor(folder_, temporary, fd_))
        return fail("replace", destination_, ESTALE, "the temporary was replaced");
    if (beforeReplacing_)
        if (const auto refusal = beforeReplacing_()) return fail("replace", destination_, 0, refusal->c_str());
    if (::renameat(folder_, temporary.c_str(), folder_, destination.c_str()) != 0)
        return fail("replace", destination_, errno);
    committed_ = true;
    const bool placed = namesDescriptor(folder_, destination, fd_);
    ::close(std::exchange(fd_, -1));
    if (!placed) return fail("replace", destination_, ESTALE, "the file was replaced while it was moved into place");
    syncFolder();
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
