#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace oxel {

// A file built into the program (cmake/EmbeddedFiles.cmake): its path among the resources it came
// from, and its bytes.
struct EmbeddedFile {
    std::string_view path;
    std::span<const uint8_t> bytes;
};

// The file at `path` among `files`, or nothing.
const EmbeddedFile* findEmbeddedFile(std::span<const EmbeddedFile> files, std::string_view path);

} // namespace oxel
