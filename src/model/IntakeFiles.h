#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace oxel {

// How intake tells pictures and orders files.

// A picture by its extension, in any case: JPEG, PNG, TIFF, HEIC/HEIF and layered files.
bool isPictureName(const std::filesystem::path& file);

// The order of file managers: case-insensitive, with runs of digits compared by value ("a2" before
// "a10").
bool naturalLess(std::string_view a, std::string_view b);

// The absolute path made lexically normal; no symbolic link is resolved.
std::filesystem::path standardized(const std::filesystem::path& file);

// The pictures directly in a folder, in natural order of their names, without hidden files and
// subfolders; empty when the folder cannot be listed.
std::vector<std::filesystem::path> expandFolder(const std::filesystem::path& folder);

// The extensions the open panel offers, lower case, without the dot.
const std::vector<std::string_view>& pictureExtensions();

} // namespace oxel
