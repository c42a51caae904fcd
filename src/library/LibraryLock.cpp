#include "library/LibraryLock.h"

#include "library/LibraryFolder.h"
#include "platform/AtomicFile.h"
#include "platform/Diagnostics.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace oxel {

namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds channelReread{20};

// Names the holder's channel for the starts that come after it; a holder that names none is
// refused by them, never handed to.
void nameChannel(int root, const fs::path& rootPath, const std::optional<fs::path>& channel)
{
    AtomicFileOptions options;
    options.permissions = 0600;
    AtomicFile file(root, rootPath / LibraryLock::fileName, std::move(options));
    const std::string text = channel ? channel->string() : std::string();
    if (!file.write(text) || !file.commit())
        diagnose("library", "the library's channel is not named: " + file.failure());
}

} // namespace

LibraryLock::Taken LibraryLock::take(const fs::path& root, const std::optional<fs::path>& channel)
{
    Taken taken;
    LibraryFolder::makeRoot(root);
    const int descriptor = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        taken.error = "cannot open " + root.string() + ": " + std::strerror(errno);
        return taken;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (reason != ENOLCK) {
            ::close(descriptor);
            if (reason == EWOULDBLOCK)
                taken.heldElsewhere = true;
            else
                taken.error = "cannot lock " + root.string() + ": " + std::strerror(reason);
            return taken;
        }
        taken.unlocked = true;
    }
    nameChannel(descriptor, root, channel);
    taken.lock.reset(new LibraryLock(descriptor));
    return taken;
}

std::optional<fs::path> LibraryLock::holderChannel(const fs::path& root)
{
    const int descriptor = ::open((root / fileName).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    char text[4096];
    struct stat status {};
    ssize_t count = 0;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) count = ::pread(descriptor, text, sizeof text, 0);
    ::close(descriptor);
    if (count <= 0 || text[0] != '/') return std::nullopt;
    return fs::path(std::string(text, size_t(count)));
}

LibraryLock::Taken LibraryLock::takeOrHandOver(const fs::path& root, const std::optional<fs::path>& channel,
                                               const std::function<bool(const fs::path&)>& handOff,
                                               std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        Taken taken = take(root, channel);
        if (!taken.heldElsewhere) return taken;
        // A channel left by an earlier holder refuses at once: the new holder's comes soon after.
        const auto holder = holderChannel(root);
        if (holder && holder != channel && handOff(*holder)) {
            taken.handedOver = true;
            return taken;
        }
        if (std::chrono::steady_clock::now() >= until) return taken;
        std::this_thread::sleep_for(channelReread);
    }
}

LibraryLock::~LibraryLock()
{
    ::close(descriptor_);
}

} // namespace oxel
