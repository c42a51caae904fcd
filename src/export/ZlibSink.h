#pragma once

#include "export/OutputFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace oxel {

// Streams bytes into a file as one zlib stream (zlib header, deflate at the fastest level with
// run-length matching, Adler-32 trailer). Each write is cut into independent pieces that deflate on all cores at once and are
// joined in order: every piece but the last ends on a byte boundary with a sync flush, and their
// checksums are combined, so the file is one ordinary stream that any inflater reads.
class ZlibSink {
public:
    explicit ZlibSink(std::filesystem::path path);

    // Compresses `count` bytes onto the end of the stream.
    void write(const uint8_t* bytes, size_t count);
    // Ends the stream, closes the file and returns the compressed length.
    uint64_t finish();

    const std::filesystem::path& path() const { return file_.path(); }
    uint64_t written() const { return written_; }

    static constexpr size_t pieceBytes = 256 * 1024;

private:
    void put(const uint8_t* bytes, size_t count);

    OutputFile file_;
    uint32_t checksum_ = 1;
    uint64_t written_ = 0;
};

} // namespace oxel
