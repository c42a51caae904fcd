#include "library/LibraryLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

// The holder's channel as its file names it; nothing when the file is empty or unreadable.
std::optional<fs::path> recordedChannel(int descriptor)
{
    char text[4096];
    const ssize_t count = ::pread(descriptor, text, sizeof text, 0);
    if (count <= 0 || text[0] != '/') return std::nullopt;
    return fs::path(std::string(text, size_t(count)));
}

} // namespace

LibraryLock::Taken LibraryLock::take(const fs::path& root, const std::optional<fs::path>& channel)
{
    Taken taken;
    std::error_code error;
    fs::create_directories(root, error);
    const fs::path file = root / fileName;
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        taken.error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return taken;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (reason == EWOULDBLOCK) {
            taken.heldElsewhere = true;
            taken.holderChannel = recordedChannel(descriptor);
        } else {
            taken.error = "cannot lock " + file.string() + ": " + std::strerror(reason);
        }
        ::close(descriptor);
        return taken;
    }
    const std::string text = channel ? channel->string() : std::string();
    if (::ftruncate(descriptor, 0) != 0 || ::pwrite(descriptor, text.data(), text.size(), 0) != ssize_t(text.size()))
        (void)!::ftruncate(descriptor, 0); // a holder that names no channel is refused, never handed to
    taken.lock.reset(new LibraryLock(descriptor));
    return taken;
}

LibraryLock::~LibraryLock()
{
    ::close(descriptor_);
}

} // namespace oxel
