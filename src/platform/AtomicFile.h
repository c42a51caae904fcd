#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace oxel {

// Writes `bytes` to a temporary file beside `destination`, flushes it to disk and renames it into
// place, so a reader sees the old content or the new, never half of it. The parent folder is
// created when missing. Returns the reason on failure (the destination is then untouched).
std::optional<std::string> writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes,
                                               mode_t permissions = 0644);

} // namespace oxel
