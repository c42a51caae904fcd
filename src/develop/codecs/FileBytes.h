#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// A file's bytes, read-only, shared by every copy: either the file mapped into memory, whose pages
// the system reads only when a reader touches them (so resident memory follows what the decoders
// read, not the size of the file), or bytes already held in memory.
//
// A mapped file that shrinks while it is read does not stop the process: the pages past its new
// end read as zeros, and whoever mapped it finds the change when it checks the file's stamp again.
class FileBytes {
public:
    FileBytes() = default;
    explicit FileBytes(std::vector<uint8_t> bytes);

    // The whole file mapped read-only; nothing when it cannot be opened or is no regular file.
    static std::optional<FileBytes> map(const std::filesystem::path& file);

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    std::span<const uint8_t> span() const { return {data_, size_}; }
    operator std::span<const uint8_t>() const { return span(); }

private:
    std::shared_ptr<const void> owner_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace oxel
