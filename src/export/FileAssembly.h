#pragma once

#include "export/ByteWriter.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace oxel {

class OutputFile;

// A file laid out in memory before any byte is written: runs of bytes built here, and runs that
// stand for staged files of known length, copied through only when the file is written. Every
// length and position is final while the large payloads are still on disk.
class FileAssembly {
public:
    // The buffer that takes the next bytes.
    ByteWriter& bytes();
    void appendFile(const std::filesystem::path& path, uint64_t length);
    void append(const FileAssembly& other);

    uint64_t length() const;
    void writeTo(OutputFile& out) const;

private:
    struct Run {
        ByteWriter bytes;
        std::filesystem::path file;
        uint64_t fileLength = 0;
        bool isFile = false;
    };
    std::vector<Run> runs_;
};

} // namespace oxel
