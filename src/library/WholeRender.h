#pragma once

#include <filesystem>

namespace oxel {

// Whether a kept render is there whole, judged without decoding JPEG and PNG: a plain file (a
// symbolic link is not followed) that a JPEG's segments lie inside up to its scan and whose end is
// the picture's end marker, a PNG that ends with its last chunk, or a picture of another format
// that decodes. A render cut short by a damaged disk or an edit is not whole.
bool isWholeRender(const std::filesystem::path& file);

} // namespace oxel
