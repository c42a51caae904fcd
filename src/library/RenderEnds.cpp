#include "library/RenderEnds.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxel {

namespace {

// An open render with its length; reads at given offsets.
class RenderFile {
public:
    explicit RenderFile(const std::filesystem::path& file)
        : fd_(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK))
    {
        struct stat status {};
        if (fd_ >= 0 && ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) length_ = status.st_size;
    }
    ~RenderFile()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    RenderFile(const RenderFile&) = delete;
    RenderFile& operator=(const RenderFile&) = delete;

    // -1 when it is not a plain file that could be opened.
    off_t length() const { return length_; }

    // The `size` bytes at `offset`, all of them, or false.
    template <size_t size>
    bool read(off_t offset, std::array<uint8_t, size>& bytes) const
    {
        if (offset < 0 || offset + off_t(size) > length_) return false;
        size_t done = 0;
        while (done < size) {
            const ssize_t count = ::pread(fd_, bytes.data() + done, size - done, offset + off_t(done));
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return false;
            done += size_t(count);
        }
        return true;
    }

    template <size_t size>
    bool endsWith(const std::array<uint8_t, size>& expected) const
    {
        std::array<uint8_t, size> tail{};
        return read(length_ - off_t(size), tail) && tail == expected;
    }

private:
    int fd_;
    off_t length_ = -1;
};

constexpr std::array<uint8_t, 3> jpegStart{0xFF, 0xD8, 0xFF};
constexpr std::array<uint8_t, 2> jpegEnd{0xFF, 0xD9};
constexpr std::array<uint8_t, 8> pngStart{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<uint8_t, 12> pngEnd{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// The segments from the start of the image to its first scan each lie inside the file, and the
// file ends with the end of the image: a cut anywhere loses one or the other, even a cut just after
// a thumbnail's own end marker inside the header.
bool isWholeJPEG(const RenderFile& render)
{
    constexpr uint8_t scan = 0xDA;
    off_t at = 2;
    std::array<uint8_t, 4> segment{};
    while (render.read(at, segment)) {
        if (segment[0] != 0xFF) return false;
        // Fill bytes may stand before any marker.
        if (segment[1] == 0xFF) {
            ++at;
            continue;
        }
        const off_t length = off_t(segment[2]) << 8 | segment[3];
        if (length < 2) return false;
        at += 2 + length;
        if (segment[1] == scan) return at + off_t(jpegEnd.size()) <= render.length() && render.endsWith(jpegEnd);
    }
    return false;
}

} // namespace

bool renderEndsInPlace(const std::filesystem::path& file)
{
    const RenderFile render(file);
    std::array<uint8_t, pngStart.size()> start{};
    if (!render.read(0, start)) return false;
    if (std::equal(jpegStart.begin(), jpegStart.end(), start.begin()) && !isWholeJPEG(render)) return false;
    return start != pngStart || render.endsWith(pngEnd);
}

} // namespace oxel
