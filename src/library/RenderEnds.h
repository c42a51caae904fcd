#pragma once

#include <filesystem>

namespace oxel {

// Whether a kept render's ends are in place, read without decoding it: a plain file (a symbolic
// link is not followed) whose first bytes can be read; a JPEG's segments must also lie inside the
// file up to its scan and its end be the picture's end marker, and a PNG must end with its last
// chunk. A render cut short is found here before anything is decoded.
bool renderEndsInPlace(const std::filesystem::path& file);

} // namespace oxel
