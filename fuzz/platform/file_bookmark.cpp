// A bookmark comes from a library record, which may be damaged or planted: resolving it must
// either find a regular file or give nothing, and never crash.
#include "platform/FileBookmark.h"

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const oxel::Volumes noMounts;
    if (const auto found = oxel::FileBookmark::resolve(std::span<const uint8_t>(data, size), noMounts)) {
        struct stat status {};
        if (::stat(found->file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) __builtin_trap();
    }
    return 0;
}
