#pragma once

#include <filesystem>
#include <optional>
#include <string>
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

struct FolderPictures {
    std::vector<std::filesystem::path> pictures;
    // The other files, left out as not pictures.
    int notPictures = 0;
};

// The pictures directly in a folder, in natural order of their names, without hidden files and
// subfolders; empty when the folder cannot be listed.
FolderPictures expandFolder(const std::filesystem::path& folder);

// What one intake could not take: the files it could not read, and the files of dropped folders
// that were not pictures.
struct IntakeTally {
    std::optional<std::string> firstUnreadable;
    int unreadable = 0;
    int notPictures = 0;

    void couldNotRead(const std::filesystem::path& file);
    // "could not read a.jpg" or "3 files could not be read", then "2 files skipped as not
    // pictures", joined by " · "; nothing when the intake took everything.
    std::optional<std::string> line() const;
};

// The extensions the open panel offers, lower case, without the dot.
const std::vector<std::string_view>& pictureExtensions();

} // namespace oxel
