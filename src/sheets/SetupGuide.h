#pragma once

#include "model/HandoffApp.h"

#include <filesystem>
#include <string>
#include <vector>

namespace oxel {

// How a host application is set up to hand photographs over, step by step, and the footnote
// under the steps. The darktable guide names the launcher at `launcher`.
std::vector<std::string> setupSteps(HandoffApp app, const std::filesystem::path& launcher);
std::string setupFootnote(HandoffApp app);

// Where the darktable launcher is installed: beside this program.
std::filesystem::path darktableLauncherPath();

} // namespace oxel
