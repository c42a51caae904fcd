#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace oxel {

// Shows a file in the desktop's file manager, selected, through the file manager's session-bus
// service; when no bus or no file manager answers, opens the folder that holds it with the
// desktop's handler (`openURL`). Returns at once; the file manager answers later.
void showInFolder(const std::filesystem::path& file, std::function<bool(const std::string& url)> openURL);

// The folder a file manager opens for a file that cannot be shown selected: its own folder, or
// the nearest one that still exists.
std::filesystem::path revealFolder(const std::filesystem::path& file);

} // namespace oxel
