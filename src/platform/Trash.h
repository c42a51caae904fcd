#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace oxel {

// Moves a file or folder to the desktop's Trash, where the file manager shows it and it can be
// put back. The reason when the Trash refuses (a mount without one, no permission); the item is
// then left where it is, never deleted instead.
std::optional<std::string> moveToTrash(const std::filesystem::path& path);

} // namespace oxel
