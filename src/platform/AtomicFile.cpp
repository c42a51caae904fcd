#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace {

std::string describeErrno(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

std::optional<std::string> writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes,
                                               mode_t permissions)
{
    std::error_code folderError;
    std::filesystem::create_directories(destination.parent_path(), folderError);
    if (folderError) return "cannot create " + destination.parent_path().string() + ": " + folderError.message();

    std::string temporary = destination.string() + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return describeErrno("cannot create a file beside " + destination.string());
    ::fchmod(fd, permissions);

    std::optional<std::string> failure;
    if (!writeAll(fd, bytes))
        failure = describeErrno("cannot write " + temporary);
    else if (::fsync(fd) != 0)
        failure = describeErrno("cannot flush " + temporary);
    if (::close(fd) != 0 && !failure) failure = describeErrno("cannot close " + temporary);
    if (!failure && ::rename(temporary.c_str(), destination.c_str()) != 0)
        failure = describeErrno("cannot replace " + destination.string());
    if (failure) ::unlink(temporary.c_str());
    return failure;
}

} // namespace oxel
