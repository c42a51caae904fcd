#include "platform/EmbeddedFile.h"

#include <algorithm>

namespace oxel {

const EmbeddedFile* findEmbeddedFile(std::span<const EmbeddedFile> files, std::string_view path)
{
    const auto found = std::ranges::find(files, path, &EmbeddedFile::path);
    return found == files.end() ? nullptr : &*found;
}

} // namespace oxel
