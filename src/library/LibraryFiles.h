#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace oxel {

// Whether the path is a plain file, or a plain folder, itself: a symbolic link is neither.
bool isPlainFile(const std::filesystem::path& file);
bool isPlainFolder(const std::filesystem::path& folder);

// A library file's bytes; nothing when it is missing, not a plain file (a symbolic link is not
// followed), larger than any record the library writes, or cannot be read.
std::optional<std::string> readLibraryFile(const std::filesystem::path& file);

} // namespace oxel
