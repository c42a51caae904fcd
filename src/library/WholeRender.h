#pragma once

#include <filesystem>

namespace oxel {

// Whether a kept render is there whole, so that reopening its batch can show it: a plain file (a
// symbolic link is not followed) that decodes whole; a JPEG's segments must also lie inside the
// file up to its scan and its end be the picture's end marker, and a PNG must end with its last
// chunk. A render cut short, edited or damaged on disk is not whole. Decodes the picture: called
// off the main thread.
bool isWholeRender(const std::filesystem::path& file);

} // namespace oxel
