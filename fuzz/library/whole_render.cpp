// The check of a kept render takes any bytes without crashing or reading past the file, and never
// calls a JPEG whole that does not end with its end marker.
#include "library/KeptPicture.h"
#include "library/RenderEnds.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

// The one file each input is written to, gone when the fuzzer ends.
struct ScratchFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("whole-render-" + std::to_string(::getpid()));
    ~ScratchFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const auto& file = scratch.path;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    // Decoded as the start decodes a kept render, at any size a header may claim.
    const bool whole = oxel::renderEndsInPlace(file) &&
                       oxel::KeptPicture::read(file, int64_t(1) << 20, oxel::KeptDecode::whole).has_value();
    const bool jpeg = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    if (whole && jpeg && (data[size - 2] != 0xFF || data[size - 1] != 0xD9)) std::abort();
    return 0;
}
