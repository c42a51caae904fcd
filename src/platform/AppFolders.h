#pragma once

#include <filesystem>
#include <string>

namespace oxel {

// The application's identifier, compiled in. One that ends in ".dev" marks a development build,
// whose settings, data and caches live apart from those of the released application.
std::string bundleIdentifier();
bool isDevelopmentBuild();

// "oxel pro", or "oxel pro dev" for a development build: the folder name used under the
// XDG configuration, data and cache homes.
std::string appFolderName();

// $HOME, else the home folder of the user's account entry; a folder that cannot exist when
// there is neither.
std::filesystem::path homeDirectory();

// `$XDG_CONFIG_HOME/<appFolderName>` (else `~/.config/...`), likewise for data and caches.
// The folders are not created here.
std::filesystem::path configDirectory();
std::filesystem::path dataDirectory();
std::filesystem::path cacheDirectory();

} // namespace oxel
