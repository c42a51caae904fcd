#include "develop/codecs/FileBytes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>

namespace oxel {

namespace {

// The mappings that a bus error may hit: a file shrunk under its mapping faults on the pages past
// its new end. Kept in a fixed table that the signal handler reads without locks.
struct GuardedRange {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
};
std::array<GuardedRange, 512> guardedRanges;
struct sigaction previousBusAction {};
uintptr_t pageSize = 4096;

bool isGuarded(uintptr_t address)
{
    for (const GuardedRange& range : guardedRanges) {
        const uintptr_t begin = range.begin.load(std::memory_order_acquire);
        if (begin != 0 && begin <= address && address < range.end.load(std::memory_order_acquire)) return true;
    }
    return false;
}

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (isGuarded(address)) {
        // A page of zeros in place of the page the file no longer has; the read is then retried.
        const uintptr_t page = address & ~(pageSize - 1);
        if (mmap(reinterpret_cast<void*>(page), size_t(pageSize), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                 -1, 0) != MAP_FAILED)
            return;
    }
    if ((previousBusAction.sa_flags & SA_SIGINFO) && previousBusAction.sa_sigaction) {
        previousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
        return;
    }
    // Not ours: the fault happens again on return, with the default action.
    ::signal(SIGBUS, SIG_DFL);
}

void installBusGuard()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousBusAction);
    });
}

// A free slot of the table, reserved: a begin of 1 with an end of 0 matches no address until the
// mapping's range is set.
GuardedRange* reserveRange()
{
    for (GuardedRange& range : guardedRanges) {
        uintptr_t free = 0;
        if (range.begin.compare_exchange_strong(free, uintptr_t(1), std::memory_order_acq_rel)) return &range;
    }
    return nullptr;
}

struct Mapping {
    void* address = MAP_FAILED;
    size_t size = 0;
    GuardedRange* range = nullptr;

    ~Mapping()
    {
        if (range) {
            range->end.store(0, std::memory_order_release);
            range->begin.store(0, std::memory_order_release);
        }
        if (address != MAP_FAILED) munmap(address, size);
    }
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Too many files mapped at once to guard them all: the bytes are read into memory instead.
std::optional<FileBytes> readWhole(int fd, size_t size)
{
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size - done, off_t(done));
        if (n <= 0) return std::nullopt;
        done += size_t(n);
    }
    return FileBytes(std::move(bytes));
}

} // namespace

FileBytes::FileBytes(std::vector<uint8_t> bytes)
{
    auto held = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    data_ = held->data();
    size_ = held->size();
    owner_ = std::move(held);
}

std::optional<FileBytes> FileBytes::map(const std::filesystem::path& file)
{
    const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return std::nullopt;
    const size_t size = size_t(info.st_size);
    if (size == 0) return FileBytes(std::vector<uint8_t>());
    installBusGuard();
    auto mapping = std::make_shared<Mapping>();
    mapping->range = reserveRange();
    if (!mapping->range) return readWhole(fd.get(), size);
    mapping->address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapping->address == MAP_FAILED) return std::nullopt;
    mapping->size = size;
    mapping->range->end.store(reinterpret_cast<uintptr_t>(mapping->address) + size, std::memory_order_release);
    mapping->range->begin.store(reinterpret_cast<uintptr_t>(mapping->address), std::memory_order_release);
    FileBytes bytes;
    bytes.data_ = static_cast<const uint8_t*>(mapping->address);
    bytes.size_ = size;
    bytes.owner_ = std::move(mapping);
    return bytes;
}

} // namespace oxel
