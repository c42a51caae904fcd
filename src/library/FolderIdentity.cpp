#include "library/FolderIdentity.h"

#include <sys/stat.h>

namespace oxel {

std::optional<FolderIdentity> FolderIdentity::of(int descriptor)
{
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return std::nullopt;
    return FolderIdentity{status.st_dev, status.st_ino};
}

} // namespace oxel
