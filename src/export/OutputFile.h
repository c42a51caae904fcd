#pragma once

#include "platform/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace oxel {

// A file open for writing, created afresh and only its owner's (never an existing file or a link
// under its name). Every failure throws PSDWriterError::io naming the file
// and the system's reason; the layered writer's parts use it internally and turn it into a value
// at their edge.
class OutputFile {
public:
    explicit OutputFile(std::filesystem::path path);
    // Writes through a descriptor that stays open and its owner's (an `AtomicFile`'s, say).
    OutputFile(std::filesystem::path path, int borrowedDescriptor);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

    void write(const void* data, size_t count);
    void close();
    // Closes (ignoring errors) and deletes the file; for clean-up after a failure. A borrowed
    // descriptor and its file are left to their owner.
    void discard() noexcept;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool owned_ = true;
};

// Copies the whole file at `source` to the end of `out`: inside the kernel where the file systems
// allow it, else in pieces of at most 8 MiB.
void appendFile(const std::filesystem::path& source, OutputFile& out);

// An export's temporary beside its destination: ".oxel-" followed by 32 random hex digits and
// `suffix` (".psd.part", ".tif.part"), hidden, with the permissions of a newly created file.
AtomicFileOptions hiddenTemporary(std::string suffix);

[[noreturn]] void throwFileError(const std::string& what, const std::filesystem::path& path, int error);

} // namespace oxel
